#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the
# demo need. Safe to run again. Needs root (or sudo) on Debian 12.
#
#   bash scripts/setup.sh            the native build, tests, package and demo
#   bash scripts/setup.sh --arm64    also the arm64 cross build: the arm64
#                                    architecture in dpkg, Debian's cross
#                                    compilers, the arm64 -dev packages and
#                                    qemu-user for running its tests
#   bash scripts/setup.sh --install-test
#                                    also what packaging/install-test.sh
#                                    needs: debootstrap (with --arm64 too:
#                                    qemu-user-static and binfmt-support, for
#                                    the arm64 root)
set -euo pipefail

arm64=0
install_test=0
for arg in "$@"; do
  case $arg in
    --arm64) arm64=1 ;;
    --install-test) install_test=1 ;;
    *) echo "usage: setup.sh [--arm64] [--install-test]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake pkg-config git python3
  libcups2-dev libgtest-dev
  ghostscript cups cups-daemon cups-client cups-filters
  faketime time bc file lintian dpkg-dev fakeroot desktop-file-utils
  libusb-1.0-0-dev umockdev libumockdev-dev
  clang libclang-rt-14-dev
  cups-ipp-utils curl iproute2 valgrind
  avahi-daemon avahi-utils dbus util-linux
  libavahi-client-dev libssl-dev libjpeg-dev libpng-dev zlib1g-dev libpam0g-dev
  qtbase5-dev qtbase5-dev-tools
  xvfb xauth x11-utils xdotool imagemagick trayer openbox fonts-wqy-zenhei
  libgtk-3-dev python3-cups chromium
)

if [ "$install_test" -eq 1 ]; then
  packages+=(debootstrap)
  if [ "$arm64" -eq 1 ]; then packages+=(qemu-user-static binfmt-support); fi
fi
if [ "$arm64" -eq 1 ]; then
  packages+=(crossbuild-essential-arm64 qemu-user
             libcups2-dev:arm64 libusb-1.0-0-dev:arm64 qtbase5-dev:arm64 libgtest-dev:arm64
             libavahi-client-dev:arm64 libssl-dev:arm64 libjpeg-dev:arm64 libpng-dev:arm64
             zlib1g-dev:arm64 libpam0g-dev:arm64)
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# arm64 packages come from the same mirror once dpkg knows the architecture.
if [ "$arm64" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  echo "setup: adding the arm64 architecture to dpkg"
  $SUDO dpkg --add-architecture arm64
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# cups-daemon's maintainer scripts try to start the system scheduler; nothing
# here needs it (tests run a private one), so a failing start is harmless.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
