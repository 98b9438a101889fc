#!/usr/bin/env bash
# The package kpx7720mw-printer-app packed from this build tree: its files
# and modes, dependencies, a service that nothing enables, and lintian.
set -euo pipefail
build=$1
src=$2
command -v dpkg-deb >/dev/null && command -v lintian >/dev/null || { echo "dpkg-deb/lintian missing"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
deb=$(bash "$src/packaging/printerapp/build-app-deb.sh" --tree "$build" "$(dpkg --print-architecture)" "$dir")
fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' >"$dir/files"
for f in "-rwxr-xr-x root/root ./usr/sbin/kpx7720mw-printer-app" \
         "-rw-r--r-- root/root ./lib/systemd/system/kpx7720mw-printer-app.service" \
         "-rw-r--r-- root/root ./usr/share/man/man8/kpx7720mw-printer-app.8.gz" \
         "-rw-r--r-- root/root ./usr/share/doc/kpx7720mw-printer-app/copyright"; do
  grep -qxF -- "$f" "$dir/files" || fail "missing or wrong: $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libcups2 libavahi-client3 ghostscript; do grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"; done
# PAPPL is linked in: the distribution's libpappl (1.3.1) is never used.
if grep -q libpappl <<<"$depends"; then fail "Depends names libpappl: $depends"; fi
# Off until enabled: no maintainer script starts or enables the service.
dpkg-deb -e "$deb" "$dir/control"
for s in postinst preinst; do [ ! -e "$dir/control/$s" ] || fail "$s present"; done
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./lib/systemd/system/kpx7720mw-printer-app.service >"$dir/unit"
grep -q '^ExecStart=/usr/sbin/kpx7720mw-printer-app server ' "$dir/unit" || fail "unit does not run the server"
if grep '^ExecStart' "$dir/unit" | grep -q 'listen='; then fail "the unit shares the printer by default"; fi
lintian --fail-on error,warning "$deb" || fail "lintian"
echo PASS
