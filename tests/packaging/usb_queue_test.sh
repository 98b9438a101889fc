#!/usr/bin/env bash
# The package's postinst against a real CUPS that sees the printer on USB:
# the simulator's emulated printer, found by CUPS's own usb backend under
# umockdev. postinst must add the queue "KPX7720MW" for the printer's usb://
# URI with the package's PPD, leave it alone when run again, and the queue
# must print over USB; postrm purge must take the queue away.
#
#   usb_queue_test.sh BUILD_DIR SOURCE_DIR
#
# Exit 77 (skipped) without root (CUPS runs the usb backend only as root)
# or without the simulator.
set -uo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
sim=$build/sim/kpx7720mw-sim
control=$build/packaging/control

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: needs root (CUPS's usb backend runs as root only)"; exit 77; fi
[ -x "$sim" ] || { echo "SKIP: no simulator in $build"; exit 77; }
[ -x /usr/sbin/cupsd ] && [ -x /usr/lib/cups/backend/usb ] || { echo "SKIP: cups is not installed"; exit 77; }

tmp=$(mktemp -d)
chmod 0755 "$tmp"  # CUPS's helpers run as lp and read the PPDs below it
cleanup() {
  bash "$src/scripts/private-cups.sh" stop "$tmp/cups" >/dev/null 2>&1
  "$sim" ctl --socket "$tmp/sim/ctl.sock" quit >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

"$build/sim/kpx7720mw-sim-start.sh" "$tmp/sim" --usb >"$tmp/sim.ready" || { cat "$tmp/sim.ready"; echo "FAIL: simulator"; exit 1; }
usbdir=$(sed -n 's/^usb_dir=//p' "$tmp/sim.ready")
tcp=$(sed -n 's/^tcp=//p' "$tmp/sim.ready")
bash "$src/scripts/private-cups.sh" start "$tmp/cups" --build "$build" --printer "$tcp" --no-queues \
  --usb-dir "$usbdir" --models >"$tmp/cups.out" 2>&1 || { cat "$tmp/cups.out"; echo "FAIL: private cupsd"; exit 1; }
export CUPS_SERVER=127.0.0.1:$(cat "$tmp/cups/port")
uri='usb://ZUVA/KPX7720MW?serial=KPX7720MW0001'

# The maintainer scripts of the package, pointed at a temporary install root.
root=$tmp/opt/zuva/Printers
mkdir -p "$root/KPX7720MW" "$root/KPX7720MW_net"
for s in postinst postrm; do
  sed "s#^ROOT=\"/opt/zuva/Printers\"\$#ROOT=\"$root\"#" "$control/$s" >"$tmp/$s"
  chmod +x "$tmp/$s"
done
export PATH=/usr/sbin:/usr/bin:/sbin:/bin

out=$("$tmp/postinst" configure 2>&1); status=$?
[ "$status" -eq 0 ] || fail "postinst configure exited $status: $out"
[ "$out" = "kpx7720mw: added the print queue KPX7720MW for $uri" ] && ok "postinst: $out" \
  || fail "postinst did not report the queue: $out"
lpstat -v KPX7720MW 2>&1 | grep -qxF "device for KPX7720MW: $uri" && ok "queue KPX7720MW prints to $uri" \
  || fail "queue device: $(lpstat -v 2>&1)"
# The package's PPD: its media types are the printer's own.
lpoptions -p KPX7720MW -l 2>&1 | grep -q '^MediaType/.* THICKERPAPER2 ' && ok "queue has the KPX7720MW PPD" \
  || fail "queue options are not the KPX7720MW PPD's: $(lpoptions -p KPX7720MW -l 2>&1 | head -3)"
lpstat -p KPX7720MW 2>&1 | grep -q 'enabled' && ok "queue enabled" || fail "queue not enabled: $(lpstat -p KPX7720MW 2>&1)"

out=$("$tmp/postinst" configure 2>&1); status=$?
[ "$status" -eq 0 ] && [ -z "$out" ] && ok "postinst again: queue left as it is" \
  || fail "second postinst (exit $status): $out"
[ "$(lpstat -v 2>/dev/null | grep -c '^device for KPX7720MW:')" -eq 1 ] && ok "still one queue" \
  || fail "queues after the second postinst: $(lpstat -v 2>&1)"

# A job on the new queue goes out through CUPS's usb backend.
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont\n72 720 moveto (USB queue) show showpage\n' >"$tmp/usb.ps"
lp -d KPX7720MW "$tmp/usb.ps" >/dev/null 2>&1 || fail "lp refused the job"
if "$sim" ctl --socket "$tmp/sim/ctl.sock" wait-jobs 1 120 >"$tmp/wait" 2>&1; then
  jobs=$("$sim" ctl --socket "$tmp/sim/ctl.sock" jobs)
  for want in peer=usb ticket=yes end=trailer pclxl=ok pages=1 jobname=usb.ps; do
    echo "$jobs" | grep -qx "$want" && ok "USB job: $want" || fail "USB job lacks $want"
  done
  [ "$failures" -eq 0 ] || echo "$jobs" | sed 's/^/  /'
else
  fail "no job arrived over USB: $(cat "$tmp/wait")"
  lpstat -l -o 2>&1 | sed 's/^/  /'
  grep -E '\[Job [0-9]+\]' "$tmp/cups/log/error_log" | tail -15 | sed 's/^/  /'
fi

out=$("$tmp/postrm" purge 2>&1); status=$?
[ "$status" -eq 0 ] || fail "postrm purge exited $status: $out"
lpstat -p KPX7720MW >/dev/null 2>&1 && fail "purge left the queue KPX7720MW" || ok "purge removed the queue"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all USB queue checks passed"
