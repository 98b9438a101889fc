#!/usr/bin/env bash
# Screenshots of the IP setup window in both modes, under Xvfb:
#   screenshots.sh BUILD OUTDIR   -> OUTDIR/netipset-usb.png, OUTDIR/netipset-network.png
# USB mode runs the program against the simulator's emulated printer (under
# umockdev's preload library); network mode runs it with no printer.
# Needs xvfb, x11-utils, imagemagick and a CJK font (fonts-wqy-zenhei).
set -euo pipefail

build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
work=$(mktemp -d)
xvfb_pid=""
sim_started=""

cleanup() {
  if [ -n "$sim_started" ]; then "$build/sim/kpx7720mw-sim" ctl --socket "$work/sim/ctl.sock" quit >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/run" "$work/bin" "$work/root/KPX7720MW_net/config"
chmod 700 "$work/run"

# Xvfb picks a free display and tells us which.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -1 "$work/display")"

# shot NAME [ENV...]: runs netipset, waits for its window, grabs it.
shot() {
  local name=$1; shift
  env DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run" \
    KPX_COMMAND_DIR="$work/bin" ZUVA_PRINTERS_ROOT="$work/root" "$@" \
    "$build/netipset/netipset" >"$work/$name.log" 2>&1 &
  local pid=$! id=""
  for _ in $(seq 1 100); do
    id=$(DISPLAY="$display" xwininfo -root -tree 2>/dev/null | awk '/"netIpSet"/ {print $1; exit}')
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no netIpSet window" >&2; kill "$pid"; return 1; }
  sleep 1
  DISPLAY="$display" import -window "$id" "$out/netipset-$name.png"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

TMPDIR="$work" KPX7720MW_SIM="$build/sim/kpx7720mw-sim" \
  "$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --usb --ip 192.168.1.10/255.255.255.0/192.168.1.1 >"$work/sim.out"
sim_started=1
usb_dir=$(sed -n 's/^usb_dir=//p' "$work/sim.out")
shot usb UMOCKDEV_DIR="$usb_dir" LD_PRELOAD=libumockdev-preload.so.0
shot network
echo "$out/netipset-usb.png $out/netipset-network.png"
