#!/bin/sh
# Runs examples/ansible against three virtual printers on 127.0.0.1: check mode
# first (changed, nothing sent), then a roll-out (changed), then again (ok, no
# frame reaches any printer). Exit 77 (skipped) when ansible-playbook is missing.
#   ansible_example.sh KELM_LOGO KELM_PRINTERSIM SOURCE_DIR
set -eu
logo_bin=$1 sim_bin=$2 src=$3
command -v ansible-playbook >/dev/null 2>&1 || { echo "ansible-playbook missing: skipped"; exit 77; }

tmp=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
# Ansible writes nothing outside the temporary folder and asks no network.
export HOME="$tmp/home" ANSIBLE_HOME="$tmp/ansible" ANSIBLE_LOCAL_TEMP="$tmp/ansible/tmp"
export ANSIBLE_REMOTE_TEMP="$tmp/ansible/remote" ANSIBLE_CONFIG="$tmp/none.cfg"
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_GALAXY_SERVER_LIST=
export XDG_STATE_HOME="$tmp/state" LC_ALL=C.UTF-8
mkdir -p "$HOME"

"$sim_bin" --out "$tmp/sim" --tcp 127.0.0.1:0 --tcp 127.0.0.1:0 --tcp 127.0.0.1:0 \
  > "$tmp/sim.txt" &
sim_pid=$!
i=0
until grep -q '^ready' "$tmp/sim.txt" 2>/dev/null; do
  i=$((i + 1)); [ $i -gt 200 ] && { echo "virtual printers did not start"; exit 1; }
  sleep 0.05
done
{
  echo "Nazwa;Adres IP;Port TCP"
  n=0
  for port in $(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$tmp/sim.txt"); do
    n=$((n + 1)); echo "Kasa $n;127.0.0.1;$port"
  done
} > "$tmp/sklep.csv"

logos() { if [ -f "$tmp/sim/log.jsonl" ]; then wc -l < "$tmp/sim/log.jsonl"; else echo 0; fi; }
play() {
  ansible-playbook -i "$src/examples/ansible/inventory.ini" "$src/examples/ansible/playbook.yml" \
    -e "kelm_logo_bin=$logo_bin kelm_printers=$tmp/sklep.csv" "$@" > "$tmp/play.txt" 2>&1 || true
  cat "$tmp/play.txt"
}
expect_recap() { # ok changed
  grep -Eq "sklep-lodz-01 +: ok=$1 +changed=$2 +unreachable=0 +failed=0" "$tmp/play.txt" ||
    { echo "FAIL: expected ok=$1 changed=$2"; exit 1; }
}

echo "== check mode, before any roll-out"
play --check
expect_recap 2 1
[ "$(logos)" -eq 0 ] || { echo "FAIL: check mode reached a printer"; exit 1; }

echo "== first run"
play
expect_recap 2 1
# The virtual printer logs each logo once it ends.
i=0
until [ "$(logos)" -eq 3 ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "FAIL: $(logos) logos of 3 logged"; exit 1; }
  sleep 0.05
done

echo "== second run"
play
expect_recap 2 0
grep -q '"unchanged": 3' "$tmp/play.txt" || { echo "FAIL: not every printer unchanged"; exit 1; }
[ "$(logos)" -eq 3 ] || { echo "FAIL: the second run reached a printer"; exit 1; }

echo "== check mode, after the roll-out"
play --check
expect_recap 2 0
[ "$(logos)" -eq 3 ] || { echo "FAIL: check mode reached a printer"; exit 1; }
echo "PASS"
