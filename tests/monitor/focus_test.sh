#!/usr/bin/env bash
# usbmonitor under a real window manager (openbox on Xvfb, trayer as tray
# host) while the user works in another window (an xmessage stand-in), at
# 144 dpi: the user's window keeps the keyboard focus through the start, a
# warning and an error; a warning the printer keeps repeating does not bring
# back the window once it hid; an error window closed by the user stays
# closed while the error repeats; a new state shows it again. Screenshots of
# the warning tray icon and of a long title at 144 dpi go into the test's
# directory, or into SHOT_DIR if set.
#
#   focus_test.sh USBMONITOR SIMULATOR SIM_START_SCRIPT
set -uo pipefail
monitor=$1 sim=$2 simstart=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/kpxmon-focus-XXXXXX")
shots=${SHOT_DIR:-$work/shots}
mkdir -p "$shots" "$work/run" "$work/bin" "$work/home" "$work/root/KPX7720MW/config"
chmod 700 "$work/run"
pids=()
passed=0 failed=0

# shellcheck source=gui_rig.sh
source "$(dirname "$0")/gui_rig.sh"

start_display
HOME=$work/home XDG_CONFIG_HOME=$work/home XDG_CACHE_HOME=$work/home openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 10 wm_running || { echo "openbox did not start"; exit 1; }
TMPDIR=$work KPX7720MW_SIM=$sim "$simstart" "$work/sim" --usb --status 10001 >"$work/sim.ready" || exit 1
pids+=("$(sed -n 's/^pid=//p' "$work/sim.ready")")
usbdir=$(sed -n 's/^usb_dir=//p' "$work/sim.ready")
printf '#!/bin/sh\ncase "$1" in -a) echo "KPX7720MW accepting requests since Mon 01 Jan 2024";; esac\n' >"$work/bin/lpstat"
chmod +x "$work/bin/lpstat"

# The user's window, focused.
xmessage -geometry 400x120+40+40 "the user types here" >/dev/null 2>&1 &
pids+=($!)
user_window() { xdotool search --name '^xmessage$' 2>/dev/null | head -1; }
wait_for 10 eval 'test -n "$(user_window)"' || { echo "no user window"; exit 1; }
user=$(user_window)
user_focused() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$user" ]; }
check "user window focused to begin with" wait_for 5 eval 'xdotool windowactivate "$user" 2>/dev/null; user_focused'

# Which window is active, four times a second, for the whole run.
sample_focus() { ( while :; do echo "$(xdotool getactivewindow 2>/dev/null)"; sleep 0.25; done ) >"$work/active" & sampler=$!; pids+=($sampler); }
sample_focus

env XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" QT_FONT_DPI=144 KPX_MONITOR_DEBUG=1 \
  UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 "$monitor" >"$work/monitor.log" 2>&1 &
monitor_pid=$!
pids+=($monitor_pid)

main_window() { xdotool search --name '^KPX7720MW USB状态监控$' 2>/dev/null | head -1; }
window_shown() { local w; w=$(main_window); [ -n "$w" ] && xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable'; }
window_hidden() { ! window_shown; }
stays_hidden() {  # stays_hidden SECONDS
  local until=$((SECONDS + $1))
  while [ $SECONDS -lt $until ]; do window_shown && return 1; sleep 0.2; done
}

check "window appears at start"        wait_for 20 window_shown
check "start window hides"             wait_for 10 window_hidden
ctl status 10205
check "warning shows the window"       wait_for 12 window_shown
sleep 1
# The window with the frame openbox gives it: inside the screen (the work
# area: trayer reserves none) and clear of the tray bar at the bottom right.
rect() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}'; }
framed_window() {
  local w root parent
  w=$(main_window) root=$(xwininfo -root | awk '/Window id/{print $4}')
  for _ in 1 2 3 4 5; do
    parent=$(xwininfo -tree -id "$w" | awk '/Parent window id/{print $4}')
    [ -z "$parent" ] || [ "$parent" = "$root" ] && break
    w=$parent
  done
  echo "$w"
}
placed_clear() {
  local x y w h tx ty tw th tray
  read -r x y w h <<<"$(rect "$(framed_window)")"
  tray=$(xdotool search --class trayer 2>/dev/null | while read -r t; do rect "$t"; done | awk '$3 > 20' | head -1)
  read -r tx ty tw th <<<"$tray"
  echo "window with frame at $x,$y ${w}x$h; tray bar at $tx,$ty ${tw}x$th"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1280 ] && [ $((y + h)) -le 800 ] &&
    { [ $((y + h)) -le "$ty" ] || [ $((x + w)) -le "$tx" ]; }
}
check "window and frame on the screen, clear of the tray bar (144 dpi)" placed_clear
import -window root png:- | convert - -crop 160x40+1120+760 +repage -scale 300% "$shots/usbmonitor-warning-icon.png"
check "warning window hides again"     wait_for 10 window_hidden
check "repeated warning: stays hidden over three polls" stays_hidden 16

ctl status 44114
check "error shows the window"         wait_for 8 window_shown
sleep 1
# The user clicks the close button of the frame (at its top right, above the
# window itself); that click may focus the window, so the focus samples of
# the run so far are checked now and sampling starts again afterwards.
kill "$sampler"
cp "$work/active" "$work/active.1"
parent=$(xwininfo -tree -id "$(main_window)" | awk '/Parent window id/{print $4}')
frame=$(xwininfo -id "$parent" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} END{print x, y, w}')
read -r fx fy fw <<<"$frame"
xdotool mousemove $((fx + fw - 9)) $((fy + 8)) click 1
check "user closes it"                 wait_for 3 window_hidden
xdotool windowactivate --sync "$user" 2>/dev/null
sample_focus
check "repeated error: stays closed over three polls" stays_hidden 16

ctl status 41972   # the longest kind of title: tray use, all slots, a long size name
check "new state shows the window"     wait_for 8 window_shown
sleep 1
import -window root "$shots/usbmonitor-long-title-144dpi.png"

for phase in 1 2; do
  f=$work/active; [ $phase -eq 1 ] && f=$work/active.1
  samples=$(grep -c . "$f")
  other=$(grep -vcx "$user" "$f")
  check "user window kept the focus ($samples samples, $other elsewhere)" test "$samples" -gt 40 -a "$other" -eq 0
done

# At 96 dpi the window keeps the form's size: the frame alone decides
# whether it reaches the tray bar.
kill "$monitor_pid" 2>/dev/null
wait "$monitor_pid" 2>/dev/null
env XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" QT_FONT_DPI=96 \
  UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 "$monitor" >"$work/monitor96.log" 2>&1 &
pids+=($!)
check "start window at 96 dpi"         wait_for 20 window_shown
sleep 1
check "window and frame on the screen, clear of the tray bar (96 dpi)" placed_clear

[ $failed -ne 0 ] && { echo "--- active windows"; sort "$work/active.1" "$work/active" | uniq -c; grep -v 'libusb\|release Device\|kernel driver\|^+++\|^===' "$work/monitor.log" | tail -60; }
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
