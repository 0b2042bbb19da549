#!/usr/bin/env bash
# Sets up, builds and starts the program in the current working folder, where it
# keeps settings.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" build -DKELM_BUILD_TESTS=OFF -DKELM_BUILD_BENCHMARKS=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: start the program from a desktop session." >&2
  exit 2
fi
exec "$here/build/kelm-graphics" "$@"
