#!/usr/bin/env bash
# Submit-to-completed time through a private CUPS to the printer simulator:
# our USB queue against a queue on the same simulator that uses cups-filters'
# gstopxl (its pxlmono.ppd with SNMP off and A4), side by side, for 20 text
# pages and 20 image pages, each as PostScript and as PDF (what desktops
# send); plus the bytes each sends to the printer and the time from lp to
# the first byte of the job at the printer.
# Usage: bench/cups.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
runs=${1:-3}

bash scripts/setup.sh >/dev/null
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target pstopxl_7720mw pstopxl_7720mw_net kpx7720mw-sim >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kpx7720mw-bench.XXXXXX")
chmod 0755 "$work"
sim="$build/sim/kpx7720mw-sim"
ctl() { "$top/$sim" ctl --socket "$work/sim/ctl.sock" "$@"; }
cleanup() {
  "$top/scripts/private-cups.sh" stop "$work/cups" >/dev/null 2>&1 || true
  ctl quit >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --lock free >/dev/null
printer=$(sed -n 's/^tcp=//p' "$work/sim/ready")
cups=$(scripts/private-cups.sh start "$work/cups" --build "$build" --printer "$printer" 2>/dev/null)
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
# Prints "<seconds> <bytes> <seconds to first byte>" for one job on one queue.
one_job() {
  local queue=$1 file=$2 start end
  start=$(now)
  lp -d "$queue" "$file" >/dev/null
  jobs_done=$((jobs_done + 1))
  ctl wait-jobs "$jobs_done" 300 >/dev/null
  while [ -n "$(lpstat -o "$queue" 2>/dev/null)" ]; do sleep 0.02; done
  end=$(now)
  local bytes started first
  bytes=$(ctl jobs | awk -F= '/^bytes=/{b=$2} END{print b}')
  started=$(ctl jobs | awk -F= '/^started=/{s=$2} END{print s}')
  first=$(date -d "$started" +%s.%N)
  echo "$(echo "$end - $start" | bc -l) $bytes $(echo "$first - $start" | bc -l)"
}

median() { sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

printf '%-14s %12s %12s %8s %14s %14s %12s %12s %8s\n' document "ours (s)" "gstopxl (s)" ratio "ours bytes" \
  "gstopxl bytes" "ours 1st(s)" "gstopxl 1st" ratio
for row in "text ps" "image ps" "text pdf" "image pdf"; do
  read -r doc format <<<"$row"
  file=$work/${doc}20.$format
  ours=(); peer=(); ours1=(); peer1=()
  for _ in $(seq 1 "$runs"); do
    read -r t b f < <(one_job KPX7720MW "$file"); ours+=("$t"); ours1+=("$f"); ob=$b
    read -r t b f < <(one_job GSTOPXL "$file"); peer+=("$t"); peer1+=("$f"); pb=$b
  done
  mo=$(printf '%s\n' "${ours[@]}" | median)
  mp=$(printf '%s\n' "${peer[@]}" | median)
  fo=$(printf '%s\n' "${ours1[@]}" | median)
  fp=$(printf '%s\n' "${peer1[@]}" | median)
  printf '%-14s %12.3f %12.3f %8.3f %14s %14s %12.3f %12.3f %8.3f\n' "$doc ${format^^}" "$mo" "$mp" \
    "$(echo "$mo / $mp" | bc -l)" "$ob" "$pb" "$fo" "$fp" "$(echo "$fo / $fp" | bc -l)"
done
