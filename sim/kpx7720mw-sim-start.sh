#!/usr/bin/env bash
# Starts kpx7720mw-sim in the background and waits until it is ready.
#
#   kpx7720mw-sim-start.sh DIR [SIMULATOR OPTIONS...]
#
# Everything of this simulator lives in DIR: control socket DIR/ctl.sock,
# ready file DIR/ready, log DIR/sim.log, jobs DIR/jobs, and with --usb the
# testbed directory name in DIR/usb-dir. Unless given, the ports are chosen
# by the system (--tcp 127.0.0.1:0 --udp 127.0.0.1:0). On success the ready
# file is printed (pid=, tcp=, udp=, control=, usb_dir= lines) and the exit
# status is 0. With --usb the simulator runs under umockdev-wrapper.
#
# Stop it with:   kpx7720mw-sim ctl --socket DIR/ctl.sock quit
#            or:  kill "$(sed -n 's/^pid=//p' DIR/ready)"
# The binary is $KPX7720MW_SIM, else the one next to this script.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 DIR [simulator options...]" >&2
  exit 2
fi
dir=$1
shift
sim=${KPX7720MW_SIM:-$(dirname "$0")/kpx7720mw-sim}
mkdir -p "$dir"
rm -f "$dir/ready"

args=(--control "$dir/ctl.sock" --ready-file "$dir/ready" --log "$dir/sim.log")
have() { local o; for o in "${@:2}"; do [ "$o" = "$1" ] && return 0; done; return 1; }
have --tcp "$@" || args+=(--tcp 127.0.0.1:0)
have --udp "$@" || args+=(--udp 127.0.0.1:0)
have --jobs-dir "$@" || args+=(--jobs-dir "$dir/jobs")
wrapper=()
if have --usb "$@"; then
  wrapper=(umockdev-wrapper)
  have --usb-dir-file "$@" || args+=(--usb-dir-file "$dir/usb-dir")
fi

nohup "${wrapper[@]}" "$sim" "${args[@]}" "$@" </dev/null >>"$dir/sim.out" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  if [ -s "$dir/ready" ]; then
    cat "$dir/ready"
    exit 0
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "kpx7720mw-sim exited before it was ready; see $dir/sim.log and $dir/sim.out" >&2
    exit 1
  fi
  sleep 0.05
done
echo "kpx7720mw-sim not ready after 10 s; see $dir/sim.log" >&2
kill "$pid" 2>/dev/null || true
exit 1
