#!/usr/bin/env bash
# Sets up, builds and starts the program against virtual printers, in the demo
# working folder build/demo (see scripts/demo.sh). With no display it runs the
# demo under Xvfb by itself and leaves the printers' PNGs and a screenshot.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export KELM_EXTRA_PACKAGES="xvfb xdotool imagemagick"
fi
"$here/scripts/setup.sh" build -DKELM_BUILD_TESTS=OFF -DKELM_BUILD_BENCHMARKS=OFF
exec "$here/scripts/demo.sh" "$@"
