#!/usr/bin/env bash
# By hand, not by CTest: the real program under Xvfb with N ticked printers on
# loopback that all refuse the connection. Each refusal opens a box inside the
# one before. Counts the boxes, closes them one by one with Return, then checks
# that the window still answers its keys (Ctrl+O opens the file dialog, Escape
# closes it, Ctrl+W ends the program).
#   tools/manual/refused_printers.sh [build-folder] [N] [display]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=$(cd "${1:-$here/build}" && pwd)/kelm-graphics
count=${2:-500}
display=${3:-:48}
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

# A loopback port on which nothing listens.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
{
  echo
  echo TCP
  for i in $(seq 1 "$count"); do echo "Drukarka:TCP:127.0.0.1:$port:Sklep $i:1"; done
  echo "COM::0"
} > "$work/settings.txt"

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
(cd "$work" && exec "$program") &
app=$!

boxes() { xdotool search --onlyvisible --name '^Kelm Graphics$' 2>/dev/null | wc -l; }
for _ in $(seq 1 600); do
  [ "$(boxes)" -gt "$count" ] && break
  sleep 0.1
done
echo "windows titled Kelm Graphics (main window and boxes): $(boxes)"
sleep 1
import -window root "$work/boxes.png" && cp "$work/boxes.png" "${SHOT:-/tmp}/refused-boxes.png"

# The boxes stand centred on the screen, the last one on top.
xdotool mousemove 640 512
closed=0
while [ "$(boxes)" -gt 1 ] && kill -0 $app 2>/dev/null; do
  before=$(boxes)
  xdotool key Return
  for _ in $(seq 1 50); do [ "$(boxes)" -lt "$before" ] && break; sleep 0.02; done
  [ "$(boxes)" -lt "$before" ] || { echo "a box did not close"; break; }
  closed=$((closed + 1))
done
echo "closed $closed boxes; program alive: $(kill -0 $app 2>/dev/null && echo yes || echo no)"
main=$(xdotool search --onlyvisible --name '^Kelm Graphics$' | head -1)
xdotool mousemove --window "$main" 100 100; xdotool windowfocus --sync "$main"
xdotool key ctrl+o
for _ in $(seq 1 100); do
  [ "$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)" -gt "$(xdotool search --onlyvisible --name '^Kelm Graphics$' | wc -l)" ] && break
  sleep 0.05
done
import -window root "${SHOT:-/tmp}/refused-after.png"
echo "after Ctrl+O, visible windows: $(xdotool search --onlyvisible --name . | xargs -n1 xdotool getwindowname 2>/dev/null | sort | uniq -c | tr '\n' ';')"
xdotool key Escape
sleep 0.5
xdotool mousemove --window "$main" 100 100; xdotool windowfocus --sync "$main"
xdotool key ctrl+w
for _ in $(seq 1 100); do kill -0 $app 2>/dev/null || break; sleep 0.05; done
if kill -0 $app 2>/dev/null; then
  echo "the program did not end on Ctrl+W"; kill $app; exit 1
fi
wait $app && echo "the program ended on Ctrl+W with status 0"
