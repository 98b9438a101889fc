#!/usr/bin/env bash
# Builds the Debian package kpx7720mw: a Release build without the tests and
# the simulator, then CPack's DEB generator; one build tree per
# architecture. Installs the Debian packages the build needs first
# (scripts/setup.sh, with --arm64 for the cross build). Prints the path of
# each .deb, which it also copies to out/deb/.
#
#   bash packaging/build-deb.sh                  the machine's own architecture
#   bash packaging/build-deb.sh amd64 arm64      both (arm64 cross-built on amd64)
#   bash packaging/build-deb.sh all              the same
#
# BUILD_ROOT (default: the source tree) holds the build trees build-deb-ARCH.
# Extra CMake options can be passed in CMAKE_ARGS.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=${BUILD_ROOT:-$here}
out=$here/out/deb

native=$(dpkg --print-architecture)
arches=()
for arg in "$@"; do
  case $arg in
    all) arches+=(amd64 arm64) ;;
    amd64|arm64) arches+=("$arg") ;;
    *) echo "usage: build-deb.sh [amd64|arm64|all]..." >&2; exit 2 ;;
  esac
done
[ ${#arches[@]} -gt 0 ] || arches=("$native")

# Which toolchain builds each architecture on this machine.
toolchain_for() {
  if [ "$1" = "$native" ]; then
    echo ""
  elif [ "$1" = arm64 ] && [ "$native" = amd64 ]; then
    echo "$here/packaging/aarch64-linux-gnu.cmake"
  else
    echo "build-deb.sh: cannot build $1 packages on $native" >&2
    return 1
  fi
}

setup_args=()
for arch in "${arches[@]}"; do
  toolchain_for "$arch" >/dev/null
  if [ "$arch" = arm64 ] && [ "$native" != arm64 ]; then setup_args=(--arm64); fi
done
bash "$here/scripts/setup.sh" "${setup_args[@]}" >&2

# Debian's hardening flags (bindnow, fortify, stack protector), as dpkg
# builds would use them for the target architecture.
hardening() {
  local arch=$1
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  local cflags cxxflags cppflags ldflags
  cflags=$(DEB_HOST_ARCH=$arch dpkg-buildflags --get CFLAGS)
  cxxflags=$(DEB_HOST_ARCH=$arch dpkg-buildflags --get CXXFLAGS)
  cppflags=$(DEB_HOST_ARCH=$arch dpkg-buildflags --get CPPFLAGS)
  ldflags=$(DEB_HOST_ARCH=$arch dpkg-buildflags --get LDFLAGS)
  export CFLAGS="$cflags $cppflags" CXXFLAGS="$cxxflags $cppflags" LDFLAGS="$ldflags"
}

mkdir -p "$out"
for arch in "${arches[@]}"; do
  build=$build_root/build-deb-$arch
  toolchain=$(toolchain_for "$arch")
  args=(-DCMAKE_BUILD_TYPE=Release -DKPX_BUILD_TESTS=OFF -DKPX_BUILD_SIM=OFF -DCMAKE_INSTALL_PREFIX=/usr)
  if [ -n "$toolchain" ]; then args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain"); fi
  (
    hardening "$arch"
    # shellcheck disable=SC2086
    cmake -S "$here" -B "$build" "${args[@]}" ${CMAKE_ARGS:-} >/dev/null
    cmake --build "$build" -j"$(nproc)" >&2
    rm -rf "$build/deb"
    # dpkg-shlibdeps reads the target's library packages by architecture.
    cd "$build" && DEB_HOST_ARCH=$arch cpack -G DEB -B "$build/deb" >/dev/null
  )
  deb=$(ls "$build"/deb/kpx7720mw_*_"$arch".deb)
  cp "$deb" "$out/"
  echo "$out/$(basename "$deb")"
done
