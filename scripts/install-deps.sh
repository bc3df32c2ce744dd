#!/usr/bin/env bash
# Installs the Debian packages Kvarnik needs to build, test and run. Does nothing when they are there.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-serialport-dev libqt6svg6
  libgl-dev libxkbcommon-dev
  libserialport-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev googletest
  xvfb xauth
  clang libclang-rt-14-dev
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
