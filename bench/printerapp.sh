#!/usr/bin/env bash
# The printer application against the classic network queue, through the
# same private CUPS to the printer simulator: median time from submit to the
# last byte at the printer for 20 text pages and 20 image pages (PDF), and
# the application's resident memory when idle.
# Usage: bench/printerapp.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
runs=${1:-5}

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pstopxl_7720mw pstopxl_7720mw_net kpx7720mw-sim kpx7720mw-printer-app >/dev/null

. "$top/tests/printerapp/app_rig.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kpx7720mw-appbench.XXXXXX")
chmod 0755 "$work"
cleanup() {
  "$top/scripts/private-cups.sh" stop "$work/cups" >/dev/null 2>&1 || true
  rig_stop "$work"
  rm -rf "$work"
}
trap cleanup EXIT
RIG_LOG_LEVEL=warn rig_start "$work" "$top/$build"
app_pid=$(cat "$work/app.pid")
rss() { awk '/^VmRSS/{printf "%.1f", $2 / 1024}' "/proc/$app_pid/status"; }
sleep 1
rss_fresh=$(rss)

cups=$(scripts/private-cups.sh start "$work/cups" --build "$build" --printer "$SIM_TCP" 2>/dev/null)
export "$(echo "$cups" | grep '^CUPS_SERVER=')"
/usr/sbin/lpadmin -p APP -E -v "$APP_URI" -m everywhere 2>/dev/null

. bench/documents.sh
bench_documents "$work"
for d in text20 image20; do gs -q -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$work/$d.pdf" "$work/$d.ps"; done

now() { date +%s.%N; }
done_jobs=0
one_job() {  # QUEUE FILE -> seconds to the last byte at the printer
  local start end
  start=$(now)
  lp -d "$1" "$2" >/dev/null
  done_jobs=$((done_jobs + 1))
  rig_sim wait-jobs "$done_jobs" 600 >/dev/null
  end=$(now)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

last_pages() { rig_sim jobs | awk -F= '/^pages=/{p=$2} END{print p}'; }
printf '%-8s %12s %12s %7s %12s\n' document "app (s)" "classic (s)" ratio "pages a/c"
for doc in text20 image20; do
  : >"$work/app.t"
  : >"$work/classic.t"
  for _ in $(seq 1 "$runs"); do
    one_job APP "$work/$doc.pdf" >>"$work/app.t"
    pa=$(last_pages)
    one_job KPX7720MW-net "$work/$doc.pdf" >>"$work/classic.t"
    pc=$(last_pages)
  done
  a=$(median <"$work/app.t")
  c=$(median <"$work/classic.t")
  printf '%-8s %12.2f %12.2f %7.2f %12s\n' "$doc" "$a" "$c" "$(echo "$a / $c" | bc -l)" "$pa/$pc"
done
sleep 3
echo "app idle RSS: $rss_fresh MiB after start, $(rss) MiB after the jobs (target <= 20 MiB)"
