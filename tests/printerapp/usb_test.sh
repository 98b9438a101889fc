#!/usr/bin/env bash
# The application with the printer on USB (the simulator's emulated printer,
# under umockdev): the device list offers it, a PDF prints over USB with
# ticket, pages and trailer, the printer's state comes back over USB, and an
# unplugged printer shows as offline until it is back.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"

command -v umockdev-wrapper >/dev/null || { echo "SKIP: umockdev is not installed"; exit 77; }
dir=$(mktemp -d)
trap 'rig_stop "$dir"; rm -rf "$dir"' EXIT
RIG_USB=1 rig_start "$dir" "$build"
usbdir=$(sed -n 's/^usb_dir=//p' "$dir/sim.info")

LD_PRELOAD=libumockdev-preload.so.0 UMOCKDEV_DIR=$usbdir \
  "$build/printerapp/kpx7720mw-printer-app" devices >"$dir/devices" 2>&1 || true
grep -q 'usb://ZUVA/KPX7720MW' "$dir/devices" || { echo "the USB printer is not listed:"; cat "$dir/devices"; exit 1; }

field() { sed -n "s/^$2=//p" "$dir/sim/jobs/job-$(printf %04d "$1").txt"; }
rig_make_pdf "$dir/doc.pdf" 2
ipptool -tf "$dir/doc.pdf" "$APP_URI" /usr/share/cups/ipptool/print-job.test >"$dir/print" 2>&1 ||
  { cat "$dir/print"; exit 1; }
rig_wait_jobs 1 120
for f in peer:usb ticket:yes pclxl:ok end:trailer pages:2; do
  [ "$(field 1 "${f%%:*}")" = "${f#*:}" ] ||
    { echo "job 1: ${f%%:*} is '$(field 1 "${f%%:*}")', expected '${f#*:}'"; cat "$dir/sim/jobs/job-0001.txt"; exit 1; }
done

wait_for() { rig_wait_attrs "$dir" "$1"; }
rig_sim status 44114 >/dev/null
wait_for 'printer-state-reasons .*media-jam'
rig_sim status 10001 >/dev/null
wait_for 'printer-state-reasons \(keyword\) = none'
rig_sim unplug >/dev/null
wait_for 'printer-state-reasons .*offline'
rig_sim replug >/dev/null
wait_for 'printer-state-reasons \(keyword\) = none'
echo PASS
