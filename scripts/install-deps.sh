#!/usr/bin/env bash
# Installs the Debian packages the build, the viewer and the tests need; only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
  qt6-svg-dev
  libsensors-dev
  libgif-dev libjpeg-dev tango-icon-theme
  pci.ids usb.ids
  xvfb xauth
  fonts-liberation2 # Arial's metrics, which the window and the views are laid out for
  chromium python3
)
# The browser tests drive Chromium from Node.js; Node.js may come from elsewhere than Debian.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
