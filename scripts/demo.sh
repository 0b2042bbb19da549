#!/usr/bin/env bash
# Runs the built program against virtual printers: two on TCP/IP (127.0.0.1) and
# one serial, in the working folder build/demo, which it makes afresh. With a
# display the operator uses the window; without one, under Xvfb, the script sends
# the sample logo itself as an operator would (Ctrl+S, "Zamknij", close) and
# leaves a screenshot. The printers' PNGs and log.jsonl go to build/demo/out.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
demo=$here/build/demo
sim=$here/build/kelm-printer-sim
program=$here/build/kelm-graphics
logo=$here/scripts/demo-logo.png
# More TCP/IP printers, to see a chain of shops: KELM_DEMO_TCP_PRINTERS=200.
count=${KELM_DEMO_TCP_PRINTERS:-2}

case "$here" in
  *:*|*Drukarka*) echo "The settings file cannot hold the path $here (a ':' or 'Drukarka')." >&2; exit 2 ;;
esac

rm -rf "$demo"
mkdir -p "$demo/out" "$demo/state"
# A journal of its own: a demo never meets the budget of another run's printers.
export XDG_STATE_HOME=$demo/state
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

tcp_args=()
for _ in $(seq "$count"); do tcp_args+=(--tcp 127.0.0.1:0); done
# Without a display the screenshot is taken during the transfer: the printers
# answer each row 30 ms late, so that it lasts a few seconds.
answer_args=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then answer_args=(--delay 30); fi
"$sim" --out "$demo/out" "${answer_args[@]}" "${tcp_args[@]}" --serial "$demo/ttyKELM" >"$demo/printers.log" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
for _ in $(seq 100); do
  grep -qx ready "$demo/printers.log" && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -qx ready "$demo/printers.log"; then
  echo "The virtual printers did not start:" >&2
  cat "$demo/printers.log" >&2
  exit 1
fi
mapfile -t ports < <(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/printers.log")
echo "Virtual printers:"
sed -n "1,5{/^ready$/!p}" "$demo/printers.log" | sed 's/^/  /'
[ "$count" -le 4 ] || echo "  ... $count TCP/IP printers in all"

{
  echo "$logo"
  echo TCP
  for i in "${!ports[@]}"; do echo "Drukarka:TCP:127.0.0.1:${ports[$i]}:Kasa $((i + 1)):1"; done
  echo "COM:$demo/ttyKELM:1"
} >"$demo/settings.txt"

stop_printers() {
  kill -TERM "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  pids=("${pids[@]/$sim_pid}")
  echo "What the printers received (PNGs and log.jsonl): $demo/out"
  ls "$demo/out" | sed -n 1,5p | sed 's/^/  /'
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Kelm Graphics in $demo; the printers stop when its window closes."
  (cd "$demo" && "$program" "$@") || true
  stop_printers
  exit 0
fi

# No display: a virtual one, on the first display number that is free.
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
pids+=("$!")
export DISPLAY=$display
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

(cd "$demo" && exec "$program" "$@") >"$demo/program.log" 2>&1 &
program_pid=$!
pids+=("$program_pid")
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kelm Graphics' | head -1) ||
  { echo "The window did not appear; see $demo/program.log" >&2; exit 1; }
xdotool windowfocus --sync "$window"
sleep $((1 + count / 100)) # the printers connect at start; the status line shows it a second later
xdotool key --clearmodifiers ctrl+s

dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Wysy' | head -1) ||
  { echo "No progress dialog came; see $demo/out and $demo/program.log" >&2; exit 1; }
sleep 1 # about a third of the rows
import -window root "$demo/screenshot.png"
# Every TCP/IP printer logged means all finished, which enables "Zamknij".
for _ in $(seq 600); do
  [ -f "$demo/out/log.jsonl" ] && [ "$(wc -l <"$demo/out/log.jsonl")" -ge "$count" ] && break
  sleep 0.1
done
sleep 0.5 # the bars catch up
# "Zamknij" is the dialog's default button: Enter presses it once it is enabled.
xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers Return
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Wysy' >/dev/null 2>&1 || break
  sleep 0.1
done
import -window root "$demo/screenshot-after.png"
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+w
# A window that does not close (a dialog still open) must not keep the script.
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then
  echo "The window did not close; see $demo/screenshot-after.png" >&2
  exit 1
fi
wait "$program_pid" || true
stop_printers
echo "Screenshot of the window during the transfer: $demo/screenshot.png"
