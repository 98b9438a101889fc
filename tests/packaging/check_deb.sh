#!/usr/bin/env bash
# Builds kpx7720mw_*.deb from a configured and built tree (cpack into a
# temporary directory) and checks what it would put on a machine. The
# package's architecture is the build tree's (arm64 for a cross build).
#
#   check_deb.sh BUILD_DIR SOURCE_DIR
#
# Exit 77 (skipped) when the Debian tools are missing.
set -uo pipefail
build=$(cd "$1" && pwd)
src=$2

for tool in cpack dpkg-deb; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (Debian packages cmake, dpkg)"
    exit 77
  fi
done
[ -f "$build/CPackConfig.cmake" ] || { echo "FAIL: no CPackConfig.cmake in $build"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# The architecture the tree was built for: CPack's setting for a cross
# build, else this machine's.
arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$arch" ] || arch=$(dpkg --print-architecture)

if ! (cd "$tmp" && DEB_HOST_ARCH=$arch cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1); then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack did not build the package"
  exit 1
fi
debs=("$tmp"/out/kpx7720mw_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one kpx7720mw_*.deb, got: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# ---- file list: every entry as "mode owner path [-> target]"
dpkg-deb -c "$deb" | awk '{ path=$6; for (i = 7; i <= NF; i++) path = path " " $i;
                            sub(/^\.\//, "/", path); print $1, $2, path }' >"$tmp/list"

expect_entry() {  # mode path
  if grep -qxF -- "$1 root/root $2" "$tmp/list"; then ok "$2 ($1)"; else
    fail "$2 should be $1 root/root; the package has: $(grep -F " $2" "$tmp/list" | head -1)"; fi
}
expect_entry -rwxr-xr-x /usr/lib/cups/filter/pstopxl_7720mw
expect_entry -rwxr-xr-x /usr/lib/cups/filter/pstopxl_7720mw_net
expect_entry -rw-r--r-- /usr/share/cups/model/KPX7720MW.ppd
expect_entry -rw-r--r-- /usr/share/cups/model/KPX7720MW-net.ppd
expect_entry -rwxr-xr-x /opt/zuva/Printers/KPX7720MW/usbmonitor
expect_entry -rwxr-xr-x /opt/zuva/Printers/KPX7720MW_net/netmonitor
expect_entry -rwxr-xr-x /opt/zuva/Printers/KPX7720MW_net/netipset
expect_entry lrwxrwxrwx "/opt/zuva/Printers/KPX7720MW/kpx7720mw/bin/gs -> /usr/bin/gs"
expect_entry -rw-r--r-- /usr/lib/udev/rules.d/70-kpx7720mw.rules
expect_entry -rw-r--r-- /etc/xdg/autostart/kpx7720mw-usbmonitor.desktop
expect_entry -rw-r--r-- /etc/xdg/autostart/kpx7720mw-netmonitor.desktop
expect_entry -rw-r--r-- /usr/share/applications/kpx7720mw-netipset.desktop
expect_entry -rw-r--r-- /usr/share/icons/hicolor/48x48/apps/kpx7720mw.png
expect_entry -rw-r--r-- /usr/share/doc/kpx7720mw/copyright
expect_entry -rw-r--r-- /usr/share/doc/kpx7720mw/changelog.Debian.gz

# Every entry root-owned, nothing writable beyond its owner, no set-id bits.
bad_owner=$(awk '$2 != "root/root"' "$tmp/list")
[ -z "$bad_owner" ] && ok "all entries root/root" || fail "entries not owned by root/root: $bad_owner"
bad_mode=$(awk '$1 !~ /^l/ && (substr($1,6,1) == "w" || substr($1,9,1) == "w" || $1 ~ /[sS]/)' "$tmp/list")
[ -z "$bad_mode" ] && ok "no group/world-writable or set-id entries" || fail "bad modes: $bad_mode"
# dpkg must not own /opt nor the directories that keep the records after a
# removal: it would warn about them, or delete a shared /opt.
owned=$(grep -E ' /opt(/zuva(/Printers(/KPX7720MW(_net)?)?)?)?/?$' "$tmp/list")
[ -z "$owned" ] && ok "/opt and the record-holding directories are not the package's" || fail "the package owns: $owned"
# The records belong to the machine, not to the package (postinst makes them).
recs=$(grep -E '/(config|print_log)(/|$)' "$tmp/list")
[ -z "$recs" ] && ok "no record files or config/ in the package" || fail "the package ships records: $recs"
# Libraries come from Debian, never bundled; nothing from the tests or the simulator.
extra=$(grep -E '\.so(\.|$| )|/include/|\.a$|kpx7720mw-sim|gtest' "$tmp/list")
[ -z "$extra" ] && ok "no bundled libraries, headers or test programs" || fail "unexpected files: $extra"
# The filters must be where CUPS looks for them, and nowhere else.
stray=$(grep -E 'pstopxl' "$tmp/list" | grep -v ' /usr/lib/cups/filter/')
[ -z "$stray" ] && ok "filters only in /usr/lib/cups/filter" || fail "stray filter copies: $stray"

# ---- contents
mkdir -p "$tmp/root" "$tmp/control"
dpkg-deb -x "$deb" "$tmp/root"
dpkg-deb -e "$deb" "$tmp/control"
for ppd in KPX7720MW.ppd KPX7720MW-net.ppd; do
  cmp -s "$src/ppd/$ppd" "$tmp/root/usr/share/cups/model/$ppd" && ok "$ppd is the project's" || fail "$ppd differs from ppd/$ppd"
  filter=$(sed -n 's/^\*cupsFilter2: *"[^"]* [^"]* [0-9]* \([^"]*\)".*/\1/p' "$src/ppd/$ppd" | head -1)
  [ -n "$filter" ] && [ -x "$tmp/root/usr/lib/cups/filter/$filter" ] \
    && ok "$ppd names the shipped filter $filter" || fail "$ppd names filter '$filter', not in the package"
done
rule=$tmp/root/usr/lib/udev/rules.d/70-kpx7720mw.rules
if grep -v '^#' "$rule" | grep 'ATTR{idVendor}=="7b4f"' | grep 'ATTR{idProduct}=="005c"' | grep -q 'TAG+="uaccess"'; then
  ok "udev rule tags 7b4f:005c with uaccess"
else
  fail "udev rule does not tag 7b4f:005c with uaccess"
fi
for entry in etc/xdg/autostart/kpx7720mw-usbmonitor.desktop etc/xdg/autostart/kpx7720mw-netmonitor.desktop \
             usr/share/applications/kpx7720mw-netipset.desktop; do
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$tmp/root/$entry")
  [ -n "$exe" ] && [ -x "$tmp/root$exe" ] && [ -f "$tmp/root$exe" ] \
    && ok "$entry starts $exe" || fail "$entry: Exec '$exe' is not a program of the package"
  # Autostart entries (conffiles, kept after a removal) must then do nothing.
  case $entry in etc/*)
    tryexec=$(sed -n 's/^TryExec=//p' "$tmp/root/$entry")
    [ -n "$tryexec" ] && [ -x "$tmp/root$tryexec" ] && [ -f "$tmp/root$tryexec" ] \
      && ok "$entry needs $tryexec" || fail "$entry: TryExec '$tryexec' is not a program of the package"
  esac
  icon=$(sed -n 's/^Icon=//p' "$tmp/root/$entry")
  [ -f "$tmp/root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "$entry: icon '$icon' not in the package"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$tmp/root/$entry" || fail "$entry does not validate"
  fi
done
head -c 8 "$tmp/root/usr/share/icons/hicolor/48x48/apps/kpx7720mw.png" | od -An -tx1 | grep -q '89 50 4e 47' \
  && ok "icon is a PNG" || fail "icon is not a PNG"

# ---- control
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kpx7720mw ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$arch" ] && ok "Architecture $(field Architecture)" \
  || fail "Architecture is '$(field Architecture)', expected $arch"
# The programs are built for that architecture, and stripped.
case $arch in
  amd64) machine='x86-64' ;;
  arm64) machine='ARM aarch64' ;;
  *) machine='' ;;
esac
for program in usr/lib/cups/filter/pstopxl_7720mw usr/lib/cups/filter/pstopxl_7720mw_net \
               opt/zuva/Printers/KPX7720MW/usbmonitor opt/zuva/Printers/KPX7720MW_net/netmonitor \
               opt/zuva/Printers/KPX7720MW_net/netipset; do
  desc=$(file -b "$tmp/root/$program")
  case $desc in
    *"$machine"*stripped*) ;;
    *) fail "$program: expected a stripped $machine program, got: $desc"; continue ;;
  esac
  case $desc in
    *"not stripped"*) fail "$program is not stripped" ;;
    *) ok "$program: $machine, stripped" ;;
  esac
done
depends=$(field Depends)
echo "Depends: $depends"
need=(ghostscript cups cups-daemon cups-client)
if command -v dpkg-shlibdeps >/dev/null 2>&1; then
  need+=(libc6 libcups2 libusb-1.0-0 libqt5core5a libqt5widgets5 libqt5network5)
fi
for pkg in "${need[@]}"; do
  echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$pkg\( \|$\)" \
    && ok "Depends on $pkg" || fail "Depends lacks $pkg"
done
# Files under /etc are conffiles, and only they.
find "$tmp/root/etc" -type f | sed "s#^$tmp/root##" | sort >"$tmp/etcfiles"
sort "$tmp/control/conffiles" >"$tmp/conffiles" 2>/dev/null || : >"$tmp/conffiles"
cmp -s "$tmp/etcfiles" "$tmp/conffiles" && ok "conffiles = files under /etc" \
  || fail "conffiles ($(tr '\n' ' ' <"$tmp/conffiles")) differ from /etc files ($(tr '\n' ' ' <"$tmp/etcfiles"))"
for script in preinst postinst prerm postrm; do
  f=$tmp/control/$script
  if [ -f "$f" ] && [ -x "$f" ]; then ok "$script present and executable"; else fail "$script missing or not executable"; continue; fi
  head -1 "$f" | grep -qx '#!/bin/sh' || fail "$script does not start with #!/bin/sh"
  sh -n "$f" && ok "$script: sh -n clean" || fail "$script: sh -n reports errors"
  if command -v checkbashisms >/dev/null 2>&1; then
    checkbashisms "$f" && ok "$script: no bashisms" || fail "$script: bashisms"
  fi
  grep -q '@[A-Z_]*@' "$f" && fail "$script has unsubstituted @VARS@"
done

# ---- maintainer scripts, run against a temporary tree with stand-in tools
bash "$(dirname "$0")/maintainer_scripts.sh" "$tmp/control" "$tmp/root" || fail "maintainer scripts (above)"

# ---- lintian
if command -v lintian >/dev/null 2>&1; then
  lintian --pedantic "$deb" >"$tmp/lintian" 2>&1
  cat "$tmp/lintian"
  if grep -q '^E:' "$tmp/lintian"; then fail "lintian reports errors"; else ok "lintian: no errors"; fi
else
  echo "note: lintian not installed, not run"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"
