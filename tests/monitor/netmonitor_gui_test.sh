#!/usr/bin/env bash
# netmonitor on a real X display (Xvfb) with a tray host (trayer), querying
# the simulator's UDP status responder on loopback: the window and its title,
# the tray icon and balloons, a warning popping the window up, usbmonitor
# running beside it, and a second netmonitor leaving at once with status 0.
# A screenshot of the warning state goes into the test's directory, or into
# SHOT_DIR if set.
#
#   netmonitor_gui_test.sh NETMONITOR USBMONITOR SIMULATOR SIM_START_SCRIPT
set -uo pipefail
netmonitor=$1 usbmonitor=$2 sim=$3 simstart=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/kpxnetmon-gui-XXXXXX")
shots=${SHOT_DIR:-$work/shots}
mkdir -p "$shots" "$work/run" "$work/bin" "$work/root/KPX7720MW/config" "$work/root/KPX7720MW_net/config"
chmod 700 "$work/run"
pids=()
passed=0 failed=0

# shellcheck source=gui_rig.sh
source "$(dirname "$0")/gui_rig.sh"

start_display
# One simulated printer: UDP status for netmonitor, the emulated USB device for usbmonitor.
TMPDIR=$work KPX7720MW_SIM=$sim "$simstart" "$work/sim" --usb --tcp off --status 10001 >"$work/sim.ready" || exit 1
pids+=("$(sed -n 's/^pid=//p' "$work/sim.ready")")
usbdir=$(sed -n 's/^usb_dir=//p' "$work/sim.ready")
printer_port=$(sed -n 's/^udp=127\.0\.0\.1://p' "$work/sim.ready")
monitor_port=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

printf '#!/bin/sh\ncase "$1" in -a) echo "KPX7720MW accepting requests since Mon 01 Jan 2024";; esac\n' >"$work/bin/lpstat"
chmod +x "$work/bin/lpstat"
printf '127.0.0.1\n' >"$work/root/KPX7720MW_net/config/netIpInfo"
for q in KPX7720MW KPX7720MW_net; do
  printf 'resolution:600dpi;\npapersize:A4;\ninputslot:TRAY1;\nmediatype:PLAIN;\nduplex:None;\n' \
    >"$work/root/$q/config/printerInfo"
done

run_netmonitor() {
  env XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" \
    KPX_PRINTER_UDP_PORT="$printer_port" KPX_NETMONITOR_PORT="$monitor_port" "$netmonitor" "$@"
}
run_netmonitor >"$work/netmonitor.log" 2>&1 &
pids+=($!)
netpid=$!

title="KPX7720MW 网络状态监控"
main_window() { xdotool search --name "^${title}\$" 2>/dev/null | head -1; }
visible() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
window_shown() { visible "$(main_window)"; }
window_hidden() { ! window_shown; }
tray_icon() { xwininfo -root -tree 2>/dev/null | awk '/"panel"/{p=1} p && /"netmonitor": \("netmonitor"/{print $1; exit}'; }
balloons() {
  local w m t
  m=$(printf "%d" "$(main_window)" 2>/dev/null); t=$(printf "%d" "$(tray_icon)" 2>/dev/null)
  for w in $(xdotool search --onlyvisible --class netmonitor 2>/dev/null); do
    [ "$w" != "$m" ] && [ "$w" != "$t" ] && echo "$w"
  done
}
has_balloon() { [ -n "$(balloons)" ]; }
queried() { "$sim" ctl --socket "$work/sim/ctl.sock" udp-log | grep -q '"GetStatus;"'; }

check "window appears"            wait_for 20 window_shown
check "tray icon docked"          test -n "$(tray_icon)"
check "start balloon"             wait_for 5 has_balloon
check "queries reach the printer" wait_for 8 queried
check "window hides after about 4 s" wait_for 8 window_hidden

# usbmonitor beside it, then a second netmonitor.
env XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" \
  UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 "$usbmonitor" >"$work/usbmonitor.log" 2>&1 &
pids+=($!)
usbpid=$!
usb_window() { xdotool search --name '^KPX7720MW USB状态监控$' 2>/dev/null | head -1; }
usb_window_exists() { [ -n "$(usb_window)" ]; }
check "usbmonitor starts beside it" wait_for 20 usb_window_exists
check "usbmonitor keeps running"    kill -0 $usbpid
usb_icon() { xwininfo -root -tree 2>/dev/null | awk '/"panel"/{p=1} p && /"usbmonitor": \("usbmonitor"/{print $1; exit}'; }
check "both icons in the tray"      wait_for 10 eval 'test -n "$(usb_icon)"'
sleep 1
import -window root png:- | convert - -crop 160x40+1120+760 +repage -scale 300% "$shots/tray-icons.png"
start=$SECONDS
run_netmonitor >"$work/second.log" 2>&1
status=$?
check "second netmonitor exits 0 at once" test $status -eq 0 -a $((SECONDS - start)) -le 3
check "first netmonitor still runs" kill -0 $netpid
kill $usbpid 2>/dev/null; wait $usbpid 2>/dev/null
wait_for 5 eval '! usb_window_exists'

ctl status 10205
check "warning shows the window"  wait_for 8 window_shown
sleep 1
import -window root "$shots/netmonitor-warning.png"
check "warning window hides again" wait_for 8 window_hidden
check "netmonitor still runs" kill -0 $netpid

[ $failed -ne 0 ] && { echo "--- udp-log"; "$sim" ctl --socket "$work/sim/ctl.sock" udp-log | head -5; echo "--- usbmonitor.log"; tail -5 "$work/usbmonitor.log"; }
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
