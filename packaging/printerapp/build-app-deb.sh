#!/usr/bin/env bash
# Builds the Debian package kpx7720mw-printer-app, beside the classic
# package kpx7720mw: packaging/build-deb.sh builds the trees (the printer
# application is part of them), this script packs the program, its systemd
# unit (installed, not enabled), manual page and documents. Prints the path
# of each .deb, which it also copies to out/deb/.
#
#   bash packaging/printerapp/build-app-deb.sh [amd64|arm64|all]...
#   bash packaging/printerapp/build-app-deb.sh --tree BUILD ARCH OUTDIR   pack an existing build tree
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
pkgdir=$here/packaging/printerapp
name=kpx7720mw-printer-app
# The version of the changelog's latest entry.
version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$pkgdir/changelog")
[ -n "$version" ] || { echo "build-app-deb: no version in $pkgdir/changelog" >&2; exit 1; }

pack() {  # BUILD ARCH OUTDIR
  local build=$1 arch=$2 outdir=$3 strip=strip
  [ "$arch" = arm64 ] && [ "$(dpkg --print-architecture)" != arm64 ] && strip=aarch64-linux-gnu-strip
  local bin=$build/printerapp/$name
  [ -x "$bin" ] || { echo "build-app-deb: $bin not built (see printerapp/pappl: PAPPL or its -dev packages missing?)" >&2; return 1; }
  local stage
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' RETURN
  local root=$stage/root doc=$stage/root/usr/share/doc/$name
  install -d -m 0755 "$root/DEBIAN" "$root/usr/sbin" "$root/lib/systemd/system" "$root/usr/share/man/man8" \
    "$doc" "$root/usr/share/lintian/overrides"
  install -m 0755 "$bin" "$root/usr/sbin/$name"
  "$strip" --remove-section=.comment --remove-section=.note --strip-unneeded "$root/usr/sbin/$name"
  install -m 0644 "$pkgdir/$name.service" "$root/lib/systemd/system/$name.service"
  gzip -9n -c "$pkgdir/$name.8" >"$root/usr/share/man/man8/$name.8.gz"
  install -m 0644 "$pkgdir/copyright" "$doc/copyright"
  gzip -9n -c "$pkgdir/changelog" >"$doc/changelog.Debian.gz"
  install -m 0644 "$pkgdir/lintian-overrides" "$root/usr/share/lintian/overrides/$name"
  chmod 0644 "$root/usr/share/man/man8/$name.8.gz" "$doc/changelog.Debian.gz"

  # The libraries' packages, as dpkg-shlibdeps finds them for the target.
  mkdir -p "$stage/debian"
  printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$name" "$name" >"$stage/debian/control"
  local shlibs
  shlibs=$(cd "$stage" && DEB_HOST_ARCH=$arch dpkg-shlibdeps -O "root/usr/sbin/$name" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
  [ -n "$shlibs" ] || { echo "build-app-deb: dpkg-shlibdeps found no dependencies" >&2; return 1; }
  local size
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  cat >"$root/DEBIAN/control" <<CONTROL
Package: $name
Version: $version
Architecture: $arch
Maintainer: Zuva printer drivers <drivers@zuva.example>
Installed-Size: $size
Depends: $shlibs, ghostscript
Recommends: cups-ipp-utils
Section: text
Priority: optional
Homepage: https://zuva.example/printers/kpx7720mw
Description: IPP Everywhere printer application for the Zuva KPX7720MW
 Makes the KPX7720MW monochrome laser printer, on USB or on the network,
 a driverless IPP Everywhere printer for CUPS, desktop print dialogs and
 other computers, without PPD drivers. It sends the same job ticket as the
 classic queues of package kpx7720mw and reports the printer's state and
 toner through IPP.
 .
 The service kpx7720mw-printer-app is installed but not enabled; it listens
 on this computer only unless told to share the printer.
CONTROL
  chmod 0644 "$root/DEBIAN/control"
  mkdir -p "$outdir"
  local deb=$outdir/${name}_${version}_$arch.deb
  dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
  echo "$deb"
}

if [ "${1:-}" = --tree ]; then
  pack "$2" "$3" "$4"
  exit
fi
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=("$(dpkg --print-architecture)")
[ "${arches[0]}" = all ] && arches=(amd64 arm64)
bash "$here/packaging/build-deb.sh" "${arches[@]}" >/dev/null
for arch in "${arches[@]}"; do
  deb=$(pack "${BUILD_ROOT:-$here}/build-deb-$arch" "$arch" "$here/out/deb")
  echo "$deb"
done
