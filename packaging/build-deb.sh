#!/usr/bin/env bash
# Builds the Debian package kpx7720mw in one go: a Release build without the
# tests and the simulator, then CPack's DEB generator. Prints the path of
# the .deb.
#
#   bash packaging/build-deb.sh [BUILD_DIR]        (default: build-deb)
#
# Extra CMake options can be passed in CMAKE_ARGS, e.g. a toolchain file for
# the arm64 cross build (see packaging/README.md).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-deb}

# Debian's hardening flags (bindnow, fortify, stack protector), as dpkg
# builds would use them.
if command -v dpkg-buildflags >/dev/null 2>&1; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CFLAGS=$(dpkg-buildflags --get CFLAGS); CXXFLAGS=$(dpkg-buildflags --get CXXFLAGS)
  CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS); LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
  export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
fi

# shellcheck disable=SC2086
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKPX_BUILD_TESTS=OFF \
      -DKPX_BUILD_SIM=OFF -DCMAKE_INSTALL_PREFIX=/usr ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
out=$build/deb
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/kpx7720mw_*.deb)
echo "$deb"
