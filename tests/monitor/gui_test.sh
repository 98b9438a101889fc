#!/usr/bin/env bash
# usbmonitor on a real X display (Xvfb) with a tray host (trayer), polling the
# simulator's emulated USB printer: the window, the tray icon and balloons,
# single and middle tray clicks, the one-instance rule. (The double click is
# checked in the offscreen window tests: xdotool's double click on the
# trayer-embedded icon did not reach Qt as one here.) Screenshots of the warning, critical
# and ready states go into the test's directory, or into SHOT_DIR if set.
#
#   gui_test.sh USBMONITOR SIMULATOR SIM_START_SCRIPT
set -uo pipefail
monitor=$1 sim=$2 simstart=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/kpxmon-gui-XXXXXX")
shots=${SHOT_DIR:-$work/shots}
mkdir -p "$shots" "$work/run" "$work/bin" "$work/root/KPX7720MW/config"
chmod 700 "$work/run"
pids=()
passed=0 failed=0

# shellcheck source=gui_rig.sh
source "$(dirname "$0")/gui_rig.sh"

# Display, tray host, printer.
start_display
TMPDIR=$work KPX7720MW_SIM=$sim "$simstart" "$work/sim" --usb --status 10001 >"$work/sim.ready" || exit 1
pids+=("$(sed -n 's/^pid=//p' "$work/sim.ready")")
usbdir=$(sed -n 's/^usb_dir=//p' "$work/sim.ready")

printf '#!/bin/sh\ncase "$1" in -a) echo "KPX7720MW accepting requests since Mon 01 Jan 2024";; esac\n' >"$work/bin/lpstat"
chmod +x "$work/bin/lpstat"
printf 'resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n' \
  >"$work/root/KPX7720MW/config/printerInfo"

run_monitor() {
  env XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" \
    UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 "$monitor" "$@"
}
run_monitor >"$work/monitor.log" 2>&1 &
pids+=($!)
monpid=$!

title="KPX7720MW USB状态监控"
main_window() { xdotool search --name "^${title}\$" 2>/dev/null | head -1; }
visible() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
window_shown() { visible "$(main_window)"; }
window_hidden() { ! window_shown; }
tray_icon() { xwininfo -root -tree 2>/dev/null | awk '/"panel"/{p=1} p && /"usbmonitor": \("usbmonitor"/{print $1; exit}'; }
# Balloons: visible top-levels of the monitor other than the window and the tray icon.
balloons() {
  local w m t
  m=$(printf "%d" "$(main_window)" 2>/dev/null); t=$(printf "%d" "$(tray_icon)" 2>/dev/null)
  for w in $(xdotool search --onlyvisible --class usbmonitor 2>/dev/null); do
    [ "$w" != "$m" ] && [ "$w" != "$t" ] && echo "$w"
  done
}
has_balloon() { [ -n "$(balloons)" ]; }
dismiss_balloons() { local b; for b in $(balloons); do xdotool mousemove --window "$b" 20 20 click 1; done; sleep 0.3; }
shot() { import -window root "$shots/$1"; }
click_tray() { xdotool mousemove --window "$(tray_icon)" 8 8; sleep 0.3; xdotool click "$@"; }

check "window appears"            wait_for 20 window_shown
check "tray icon docked"          test -n "$(tray_icon)"
check "start balloon"             wait_for 5 has_balloon
geom=$(xwininfo -id "$(main_window)" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x","y","w","h}')
check "window placed and sized (${geom})" test "$geom" = "750,410,520,350"
start=$SECONDS
run_monitor >"$work/second.log" 2>&1
status=$?
check "second instance exits 0 at once" test $status -eq 0 -a $((SECONDS - start)) -le 3
check "first instance still runs" kill -0 $monpid
check "window hides after about 4 s" wait_for 8 window_hidden

ctl status 10205
check "warning shows the window"  wait_for 8 window_shown
sleep 1
shot usbmonitor-warning.png
check "warning window hides again" wait_for 8 window_hidden

ctl status 44114
check "critical shows the window" wait_for 8 window_shown
sleep 1
shot usbmonitor-critical.png
sleep 5
check "critical window stays up"   window_shown

ctl status 10001
sleep 6   # next poll: ready, with its balloon
check "ready balloon"              has_balloon
shot usbmonitor-ready.png   # ready: the window stays hidden, the balloon and the heart say it
dismiss_balloons
xdotool windowclose "$(main_window)" 2>/dev/null || xdotool windowunmap "$(main_window)"
check "close button hides to the tray" wait_for 3 window_hidden
check "monitor keeps running"      kill -0 $monpid

dismiss_balloons
click_tray 1
check "single click: hint balloon" wait_for 3 has_balloon
dismiss_balloons
click_tray 2
check "middle click: status balloon again" wait_for 3 has_balloon

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
