#!/usr/bin/env bash
# Submit-to-completed time through a private CUPS to the printer simulator:
# our USB queue against a queue on the same simulator that uses cups-filters'
# gstopxl (its pxlmono.ppd with SNMP off and A4), side by side, for 20 text
# pages and 20 image pages, each as PostScript and as PDF (what desktops
# send): the time from lp to the last byte at the printer, to the first
# byte, the bytes sent, and the time until CUPS completed the job (the
# filter waits up to 0.2 s after the last byte for status the printer
# sends with its last pages).
# Usage: bench/cups.sh [RUNS]
# KPX_BENCH_QUEUE_TREE=DIR: our queue as the checkout DIR has it (its PPDs
# and filters, built here into DIR/build-bench), against this tree's
# simulator: an earlier version in the same conditions.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
runs=${1:-3}

bash scripts/setup.sh >/dev/null
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target pstopxl_7720mw pstopxl_7720mw_net kpx7720mw-sim >/dev/null
queues=$top
if [ -n "${KPX_BENCH_QUEUE_TREE:-}" ]; then
  queues=$(cd "$KPX_BENCH_QUEUE_TREE" && pwd)
  cmake -S "$queues" -B "$queues/$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
  cmake --build "$queues/$build" -j"$(nproc)" --target pstopxl_7720mw pstopxl_7720mw_net >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kpx7720mw-bench.XXXXXX")
chmod 0755 "$work"
sim="$build/sim/kpx7720mw-sim"
ctl() { "$top/$sim" ctl --socket "$work/sim/ctl.sock" "$@"; }
cleanup() {
  "$queues/scripts/private-cups.sh" stop "$work/cups" >/dev/null 2>&1 || true
  ctl quit >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --lock free >/dev/null
printer=$(sed -n 's/^tcp=//p' "$work/sim/ready")
cups=$("$queues/scripts/private-cups.sh" start "$work/cups" --build "$queues/$build" --printer "$printer" 2>/dev/null)
export "$(echo "$cups" | grep '^CUPS_SERVER=')"

# The peer queue: gstopxl with its stock PPD, SNMP off, A4.
sed -e 's/^\*DefaultPageSize: .*/*DefaultPageSize: A4/' -e 's/^\*DefaultPageRegion: .*/*DefaultPageRegion: A4/' \
  /usr/share/ppd/cupsfilters/pxlmono.ppd >"$work/pxlmono.ppd"
echo '*cupsSNMPSupplies: False' >>"$work/pxlmono.ppd"
/usr/sbin/lpadmin -p GSTOPXL -E -v "socket://$printer" -P "$work/pxlmono.ppd" 2>/dev/null

text="$work/text20.ps"
image="$work/image20.ps"
. bench/documents.sh
bench_documents "$work"
for d in text20 image20; do gs -q -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$work/$d.pdf" "$work/$d.ps"; done

now() { date +%s.%N; }
jobs_done=0
# Prints "<seconds to the last byte> <bytes> <seconds to the first byte>
# <seconds until CUPS completed the job>" for one job on one queue (the
# times from lp, the first and last byte as the simulator saw them).
one_job() {
  local queue=$1 file=$2 start end
  start=$(now)
  lp -d "$queue" "$file" >/dev/null
  jobs_done=$((jobs_done + 1))
  ctl wait-jobs "$jobs_done" 300 >/dev/null
  while [ -n "$(lpstat -o "$queue" 2>/dev/null)" ]; do sleep 0.02; done
  end=$(now)
  local bytes first last
  bytes=$(ctl jobs | awk -F= '/^bytes=/{b=$2} END{print b}')
  first=$(date -d "$(ctl jobs | awk -F= '/^started=/{s=$2} END{print s}')" +%s.%N)
  last=$(date -d "$(ctl jobs | awk -F= '/^last_byte=/{s=$2} END{print s}')" +%s.%N)
  echo "$(echo "$last - $start" | bc -l) $bytes $(echo "$first - $start" | bc -l) $(echo "$end - $start" | bc -l)"
}

median() { sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

printf '%-10s %10s %10s %6s %10s %10s %6s %9s %9s %6s %10s %10s %6s\n' document "last ours" gstopxl ratio \
  "1st ours" gstopxl ratio "bytes" gstopxl ratio "done ours" gstopxl ratio
for row in "text ps" "image ps" "text pdf" "image pdf"; do
  read -r doc format <<<"$row"
  file=$work/${doc}20.$format
  ours=(); peer=(); ours1=(); peer1=(); oursd=(); peerd=()
  for _ in $(seq 1 "$runs"); do
    read -r t b f d < <(one_job KPX7720MW "$file"); ours+=("$t"); ours1+=("$f"); oursd+=("$d"); ob=$b
    read -r t b f d < <(one_job GSTOPXL "$file"); peer+=("$t"); peer1+=("$f"); peerd+=("$d"); pb=$b
  done
  m() { printf '%s\n' "$@" | median; }
  mo=$(m "${ours[@]}"); mp=$(m "${peer[@]}"); fo=$(m "${ours1[@]}"); fp=$(m "${peer1[@]}")
  do_=$(m "${oursd[@]}"); dp=$(m "${peerd[@]}")
  r() { echo "$1 / $2" | bc -l; }
  printf '%-10s %10.3f %10.3f %6.2f %10.3f %10.3f %6.2f %9s %9s %6.3f %10.3f %10.3f %6.2f\n' "$doc ${format^^}" \
    "$mo" "$mp" "$(r "$mo" "$mp")" "$fo" "$fp" "$(r "$fo" "$fp")" "$ob" "$pb" "$(r "$ob" "$pb")" \
    "$do_" "$dp" "$(r "$do_" "$dp")"
done
