#!/usr/bin/env bash
# The printer's state reaches IPP: a paper jam and low toner set in the
# simulator show in printer-state-reasons and printer-supply; cleared, they
# go away again.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"

dir=$(mktemp -d)
trap 'rig_stop "$dir"; rm -rf "$dir"' EXIT
rig_start "$dir" "$build"

wait_for() { rig_wait_attrs "$dir" "$1"; }

rig_sim status 44114 10209 >/dev/null
wait_for 'printer-state-reasons .*media-jam'
grep -q 'printer-state-reasons .*toner-low' "$dir/attrs" || { echo "toner-low missing"; exit 1; }
grep -q 'printer-supply .*type=toner.*level=10;' "$dir/attrs" || { echo "toner level not low"; grep printer-supply "$dir/attrs"; exit 1; }

rig_sim status 10001 >/dev/null
wait_for 'printer-state-reasons \(keyword\) = none'
grep -q 'printer-supply .*level=100;' "$dir/attrs" || { echo "toner level not back"; exit 1; }

# A printer that does not answer is offline.
rig_sim udp-mode silent >/dev/null
wait_for 'printer-state-reasons .*offline'
echo PASS
