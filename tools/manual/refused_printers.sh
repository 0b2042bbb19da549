#!/usr/bin/env bash
# By hand, not by CTest: the real program under Xvfb with N printers on loopback
# that all refuse the connection. Opens "Ustawienia", ticks every printer and
# presses "Połącz", then closes each box with "Pomiń podobne (N)" where it has
# one, else with its own button, and counts the clicks until no box is left. Then checks that the window still answers its keys
# (Ctrl+O opens the file dialog, Escape closes it, Ctrl+W ends the program).
#   tools/manual/refused_printers.sh [build-folder] [N] [display]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=$(cd "${1:-$here/build}" && pwd)/kelm-graphics
count=${2:-300}
display=${3:-:48}
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

# A loopback port on which nothing listens.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
{
  echo
  echo TCP
  for i in $(seq 1 "$count"); do echo "Drukarka:TCP:127.0.0.1:$port:Sklep $i:0"; done
  echo "COM::0"
} > "$work/settings.txt"

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
(cd "$work" && exec "$program") &
app=$!

boxes() { xdotool search --onlyvisible --name '^Kelm Graphics$' 2>/dev/null | wc -l; }
waitfor() { for _ in $(seq 1 200); do eval "$1" && return 0; sleep 0.05; done; return 1; }
waitfor '[ "$(boxes)" -ge 1 ]'
main=$(xdotool search --onlyvisible --name '^Kelm Graphics$' | head -1)
xdotool mousemove --window "$main" 100 100; xdotool windowfocus --sync "$main"
xdotool key ctrl+u
waitfor 'xdotool search --onlyvisible --name "^Ustawienia$" >/dev/null'
settings=$(xdotool search --onlyvisible --name '^Ustawienia$')
eval "$(xdotool getwindowgeometry --shell "$settings")"
# "Zaznacz wszystkie" and "Połącz" where the form puts them.
xdotool mousemove --window "$settings" $((600 + 65 + WIDTH - 740)) 195 click 1
sleep 0.3
xdotool mousemove --window "$settings" 360 $((375 + HEIGHT - 400)) click 1

clicks=0
gone() { ! xdotool search --onlyvisible --name "^Kelm Graphics$" | grep -qx "$1"; }
while kill -0 $app 2>/dev/null; do
  # No box for two seconds: done.
  waitfor '[ "$(boxes)" -gt 1 ]' || break
  box=$(xdotool search --onlyvisible --name '^Kelm Graphics$' | grep -vx "$main" | tail -1)
  [ "$clicks" -eq 0 ] && import -window root "${SHOT:-/tmp}/refused-box.png"
  eval "$(xdotool getwindowgeometry --shell "$box")"
  # "Pomiń podobne" stands left of the box's own button (about 80 pixels wide at
  # the bottom right); where there is none, the click lands on nothing.
  xdotool mousemove --window "$box" $((WIDTH - 130)) $((HEIGHT - 24)) click 1
  sleep 0.5
  if gone "$box"; then
    echo "closed with \"Pomiń podobne\""
  else
    xdotool mousemove --window "$box" $((WIDTH - 50)) $((HEIGHT - 24)) click 1
    waitfor "gone $box" || { echo "a box did not close"; break; }
    echo "closed with its own button"
  fi
  clicks=$((clicks + 1))
done
echo "$count refused printers: $clicks click(s) to no box left; boxes now: $(($(boxes) - 1))"
echo "program alive: $(kill -0 $app 2>/dev/null && echo yes || echo no)"

xdotool key Escape
waitfor '! xdotool search --onlyvisible --name "^Ustawienia$" >/dev/null'
xdotool mousemove --window "$main" 100 100; xdotool windowfocus --sync "$main"
xdotool key ctrl+o
waitfor '[ "$(xdotool search --onlyvisible --name . | wc -l)" -gt 1 ]' || true
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
