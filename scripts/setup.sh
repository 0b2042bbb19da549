#!/usr/bin/env bash
# Installs what the build needs (Debian packages) when it is missing, then
# configures and builds into the given folder.
#   scripts/setup.sh [build-folder] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true

# fonts-liberation2 stands in for Arial, whose widths the fixed dialog layouts assume.
packages=(cmake g++ make qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev fonts-dejavu-core fonts-liberation2)
# Qt's own Polish words; a virtual display for the window-title test; the
# menu-entry check; the .deb build with its library dependencies.
packages+=(qttranslations5-l10n xvfb x11-utils desktop-file-utils dpkg-dev file)
# The Ansible example's test (examples/ansible).
packages+=(ansible-core)
# Wanted by a caller on top, such as the demo without a display.
read -r -a extra <<<"${KELM_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build_dir" "$@"
cmake --build "$build_dir" -j"$(nproc)"
