#!/usr/bin/env bash
# Idle cost of the two running monitors on a real X server (Xvfb) with a tray
# host (trayer): usbmonitor polling the simulator's emulated USB printer every
# 5 s and netmonitor querying its UDP status every 3 s, both running the real
# lpstat against a private cupsd that has both queues. Prints, per monitor,
# the CPU time (its own and its lpstat children's) as a share of one core and
# the peak RSS. Targets: at most 0.5 % of one core and 40 MiB each.
#
#   monitor/bench_idle.sh [BUILD_DIR] [SECONDS]     (defaults: build, 180)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
duration=${2:-180}
usbmonitor=$build/monitor/usbmonitor
netmonitor=$build/monitor/netmonitor
sim=$build/sim/kpx7720mw-sim
for f in "$usbmonitor" "$netmonitor" "$sim"; do [ -x "$f" ] || { echo "missing $f (build first)" >&2; exit 2; }; done
for p in Xvfb trayer lpstat cupsd; do command -v "$p" >/dev/null || { echo "missing $p" >&2; exit 2; }; done

work=$(mktemp -d "${TMPDIR:-/tmp}/kpxmon-bench-XXXXXX")
chmod 0755 "$work"  # as root, CUPS runs its filters as lp
pids=()
# shellcheck source=../tests/monitor/gui_rig.sh
source "$top/tests/monitor/gui_rig.sh"
trap '"$top/scripts/private-cups.sh" stop "$work/cups" >/dev/null 2>&1; cleanup' EXIT
mkdir -p "$work/run"
chmod 700 "$work/run"

start_display
TMPDIR=$work KPX7720MW_SIM=$sim "$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --usb --lock free --status 10001 \
  >"$work/sim.ready" || exit 1
pids+=("$(sed -n 's/^pid=//p' "$work/sim.ready")")
usbdir=$(sed -n 's/^usb_dir=//p' "$work/sim.ready")
printer=$(sed -n 's/^tcp=//p' "$work/sim.ready")
printer_udp=$(sed -n 's/^udp=127\.0\.0\.1://p' "$work/sim.ready")
cups=$("$top/scripts/private-cups.sh" start "$work/cups" --build "$build" --printer "$printer" 2>"$work/cups.err") ||
  { cat "$work/cups.err" >&2; exit 1; }
export "$(echo "$cups" | grep '^CUPS_SERVER=')"
root=$work/cups/root
printf '127.0.0.1\n' >"$root/KPX7720MW_net/config/netIpInfo"
monitor_port=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# As a desktop session starts them: no platform or GL settings of our own.
common=(env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work/run" ZUVA_PRINTERS_ROOT="$root")
"${common[@]}" UMOCKDEV_DIR="$usbdir" LD_PRELOAD=libumockdev-preload.so.0 "$usbmonitor" >"$work/usbmonitor.log" 2>&1 &
usbpid=$!
pids+=($usbpid)
"${common[@]}" KPX_PRINTER_UDP_PORT="$printer_udp" KPX_NETMONITOR_PORT="$monitor_port" "$netmonitor" \
  >"$work/netmonitor.log" 2>&1 &
netpid=$!
pids+=($netpid)

ticks=$(getconf CLK_TCK)
cpu_of() { awk '{print $14 + $15 + $16 + $17}' "/proc/$1/stat"; }  # own and waited-for children's, in ticks
own_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }
sleep 15   # past the start-up (window, first polls)
u0=$(cpu_of $usbpid) n0=$(cpu_of $netpid) uo0=$(own_of $usbpid) no0=$(own_of $netpid) t0=$(date +%s.%N)
"$sim" ctl --socket "$work/sim/ctl.sock" usb-log clear >/dev/null
"$sim" ctl --socket "$work/sim/ctl.sock" udp-log clear >/dev/null
sleep "$duration"
u1=$(cpu_of $usbpid) n1=$(cpu_of $netpid) uo1=$(own_of $usbpid) no1=$(own_of $netpid) t1=$(date +%s.%N)
for p in $usbpid $netpid; do kill -0 "$p" || { echo "a monitor ended early" >&2; exit 1; }; done
usb_polls=$("$sim" ctl --socket "$work/sim/ctl.sock" usb-log | grep -c '^out 436865636b' || true)
net_polls=$("$sim" ctl --socket "$work/sim/ctl.sock" udp-log | grep -c 'GetStatus;' || true)
gl=""
for p in $usbpid $netpid; do grep -q 'libLLVM\|_dri\.so\|libgallium' "/proc/$p/maps" && gl="$gl $p"; done

status=0
report() {  # report NAME PID CPU0 CPU1 OWN0 OWN1 POLLS
  awk -v name="$1" -v c0="$3" -v c1="$4" -v o0="$5" -v o1="$6" -v t0="$t0" -v t1="$t1" -v hz="$ticks" -v polls="$7" \
      -v hwm="$(awk '/VmHWM/{print $2}' "/proc/$2/status")" '
  BEGIN {
    wall = t1 - t0; cpu = (c1 - c0) / hz; pct = cpu / wall * 100; mib = hwm / 1024
    own = (o1 - o0) / hz
    printf "%-10s wall %.0f s, status queries %d, cpu %.2f s (own %.2f, lpstat %.2f) = %.3f %% of one core (target <= 0.5 %%), peak RSS %.1f MiB (target <= 40 MiB)\n", name, wall, polls, cpu, own, cpu - own, pct, mib
    exit (pct <= 0.5 && mib <= 40) ? 0 : 1
  }' || status=1
}
echo "Xvfb + trayer on $DISPLAY, lpstat against a private cupsd ($CUPS_SERVER)"
report usbmonitor $usbpid "$u0" "$u1" "$uo0" "$uo1" "$usb_polls"
report netmonitor $netpid "$n0" "$n1" "$no0" "$no1" "$net_polls"
[ -z "$gl" ] || { echo "Mesa GL drivers loaded in:$gl"; status=1; }
[ "$usb_polls" -gt 0 ] && [ "$net_polls" -gt 0 ] || { echo "a monitor did not query the printer"; status=1; }
if [ $status -eq 0 ]; then echo "within targets"; else echo "OVER TARGET"; fi
exit $status
