#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the
# demo need. Safe to run again. Needs root (or sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git python3
  libcups2-dev libgtest-dev
  ghostscript cups cups-daemon cups-client cups-filters
  faketime time bc lintian dpkg-dev fakeroot desktop-file-utils
  libusb-1.0-0-dev umockdev libumockdev-dev
  qtbase5-dev qtbase5-dev-tools
  xvfb xauth x11-utils xdotool imagemagick trayer fonts-wqy-zenhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# cups-daemon's maintainer scripts try to start the system scheduler; nothing
# here needs it (tests run a private one), so a failing start is harmless.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
