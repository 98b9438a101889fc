#!/usr/bin/env bash
# Idle cost of a running usbmonitor that polls the simulator's emulated USB
# printer every 5 s: CPU seconds per hour of wall time and peak RSS.
# Targets: at most 0.5 % of one core (18 CPU s per hour) and 40 MiB.
#
#   monitor/bench_idle.sh [BUILD_DIR] [SECONDS]     (defaults: build, 180)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
duration=${2:-180}
monitor=$build/monitor/usbmonitor
sim=$build/sim/kpx7720mw-sim
for f in "$monitor" "$sim"; do [ -x "$f" ] || { echo "missing $f (build first)" >&2; exit 2; }; done

work=$(mktemp -d "${TMPDIR:-/tmp}/kpxmon-bench-XXXXXX")
monpid=""
cleanup() {
  if [ -n "$monpid" ]; then kill "$monpid" 2>/dev/null || true; wait "$monpid" 2>/dev/null || true; fi
  "$sim" ctl --socket "$work/sim/ctl.sock" quit >/dev/null 2>&1 || true
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" "$work/bin" "$work/root/KPX7720MW/config"
chmod 700 "$work/run"
printf '#!/bin/sh\ncase "$1" in -a) echo "KPX7720MW accepting requests since Mon 01 Jan 2024";; esac\n' >"$work/bin/lpstat"
chmod +x "$work/bin/lpstat"
TMPDIR=$work KPX7720MW_SIM=$sim "$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --usb --status 10001 >"$work/ready"
usbdir=$(sed -n 's/^usb_dir=//p' "$work/ready")

env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" PATH="$work/bin:$PATH" ZUVA_PRINTERS_ROOT="$work/root" \
  UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 QT_LOGGING_RULES="default.debug=false" \
  "$monitor" >"$work/monitor.log" 2>&1 &
monpid=$!

ticks=$(getconf CLK_TCK)
cpu_of() {  # own and waited-for children's CPU time (lpstat runs), in ticks
  awk '{print $14 + $15 + $16 + $17}' "/proc/$monpid/stat"
}
sleep 15   # past the start-up (tray wait, first poll)
start_cpu=$(cpu_of)
start=$(date +%s.%N)
sleep "$duration"
end=$(date +%s.%N)
end_cpu=$(cpu_of)
kill -0 "$monpid" || { echo "usbmonitor ended early" >&2; exit 1; }
polls=$("$sim" ctl --socket "$work/sim/ctl.sock" usb-log | grep -c '^out 436865636b' || true)
hwm_kib=$(awk '/VmHWM/{print $2}' "/proc/$monpid/status")

status=0
awk -v c0="$start_cpu" -v c1="$end_cpu" -v t0="$start" -v t1="$end" -v hz="$ticks" -v hwm="$hwm_kib" -v polls="$polls" '
BEGIN {
  wall = t1 - t0; cpu = (c1 - c0) / hz
  perhour = cpu / wall * 3600; pct = cpu / wall * 100; mib = hwm / 1024
  printf "wall %.0f s, status queries answered %d\n", wall, polls
  printf "cpu %.2f s = %.1f CPU s per hour = %.3f %% of one core (target <= 0.5 %%)\n", cpu, perhour, pct
  printf "peak RSS %.1f MiB (target <= 40 MiB)\n", mib
  ok = (pct <= 0.5 && mib <= 40)
  print ok ? "within targets" : "OVER TARGET"
  exit ok ? 0 : 1
}' || status=1
exit $status
