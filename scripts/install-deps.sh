#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmark and the
# hub simulator need. Safe to run again: when everything is present it does nothing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-serialbus-dev qt6-serialport-dev
  python3 python3-pymodbus python3-serial python3-serial-asyncio socat mbpoll
  xvfb xauth imagemagick xdotool
  libreoffice-calc libreoffice-dev fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y "${missing[@]}"
