#!/usr/bin/env bash
# Soak of the printer application: N jobs (PDF and PWG raster, alternately)
# to the simulator, about one in five cancelled at a random moment, a few
# waiting in the queue at any time. Then: every job id once in Get-Jobs,
# the newest jobs kept in the history, the queue drained, and the figures:
# jobs printed / cancelled / aborted, the application's RSS at start, end and
# peak, duplicates, and valgrind's (SOAK_VALGRIND=1) or the sanitizers'
# error counts. Exits non-zero on a duplicate, a lost newest job, a queue
# that does not drain or any memory error.
# Usage: bench/printerapp-soak.sh [N]      (BUILD=dir to use a build tree)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
n=${1:-300}

build=${BUILD:-build-bench}
if [ -z "${BUILD:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target kpx7720mw-sim kpx7720mw-printer-app >/dev/null
fi
build=$(cd "$build" && pwd)

. "$top/tests/printerapp/app_rig.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kpx7720mw-soak.XXXXXX")
cancellers=()
trap 'kill "${cancellers[@]}" 2>/dev/null || true; rig_stop "$work"; rm -rf "$work"' EXIT
if [ "${SOAK_VALGRIND:-0}" = 1 ]; then
  RIG_APP_WRAPPER="valgrind --error-exitcode=99 --leak-check=no --num-callers=30 --log-file=$work/valgrind.log"
fi
RIG_APP_WRAPPER=${RIG_APP_WRAPPER:-} rig_start "$work" "$build"
pid=$(cat "$work/app.pid")
kb() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pid/status"; }
rss_start=$(kb VmRSS)
began=$SECONDS

cd "$work"
rig_make_pdf doc.pdf 8
gs -q -dSAFER -sDEVICE=pwgraster -r600 -sPAPERSIZE=a4 -dcupsColorSpace=3 -dcupsBitsPerColor=1 -o doc.pwg doc.pdf >/dev/null 2>&1
# (PAPPL takes raster only while it prints nothing else: "busy", again.)
rig_op Print-Job 'ATTR name job-name $name' 'ATTR mimeMediaType document-format $format' 'FILE $filename' \
  'DELAY 0.2' 'STATUS successful-ok' 'STATUS server-error-busy REPEAT-MATCH REPEAT-LIMIT 3000' >print.test
rig_op Cancel-Job 'ATTR integer job-id $job' >cancel.test
rig_op Get-Jobs 'ATTR keyword which-jobs $which' 'ATTR keyword requested-attributes job-id,job-state' >jobs.test
job_ids() { ipptool -tv -d which="$1" "$APP_URI" jobs.test 2>/dev/null | sed -n 's/^ *job-id (integer) = //p'; }
dup_ids() { job_ids all | sort -n | uniq -d | wc -l; }

duplicates=0 cancels=0 last=0
for i in $(seq 1 "$n"); do
  # A few jobs queued at a time.
  while [ "$(job_ids not-completed | wc -l)" -ge 6 ]; do sleep 0.2; done
  if [ $((i % 2)) = 0 ]; then file=doc.pwg format=image/pwg-raster; else file=doc.pdf format=application/pdf; fi
  last=$(ipptool -tv -d name="soak$i" -d format=$format -f $file "$APP_URI" print.test 2>/dev/null |
    sed -n 's/^ *job-id (integer) = //p')
  [ -n "$last" ] || { echo "job $i was refused"; exit 1; }
  if [ $((RANDOM % 5)) = 0 ]; then
    cancels=$((cancels + 1))
    (sleep "0.$((RANDOM % 4))$((RANDOM % 10))"; ipptool -t -d job="$last" "$APP_URI" cancel.test >/dev/null 2>&1 || true) &
    cancellers+=($!)
  fi
  if [ $((i % 50)) = 0 ]; then
    d=$(dup_ids)
    duplicates=$((duplicates + d))
    echo "$i jobs, $((SECONDS - began)) s, RSS $(($(kb VmRSS) / 1024)) MiB, duplicates in Get-Jobs: $d"
  fi
done
[ ${#cancellers[@]} = 0 ] || wait "${cancellers[@]}" 2>/dev/null || true
drained=no
for _ in $(seq 1 600); do
  [ -z "$(job_ids not-completed)" ] && { drained=yes; break; }
  sleep 1
done
d=$(dup_ids)
duplicates=$((duplicates + d))
newest=no
job_ids completed | grep -qx "$last" && newest=yes
rss_end=$(kb VmRSS) peak=$(kb VmHWM)
took=$((SECONDS - began))

# Stop the application (valgrind reports at its exit).
kill "$pid"
status=0
wait "$pid" || status=$?
rm -f app.pid
count() { grep -c "$1" "$2" 2>/dev/null || true; }
vg_errors=-
[ -f valgrind.log ] && vg_errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' valgrind.log | tail -1)
san_errors=$(count 'ERROR: \(Address\|Undefined\|Thread\|Leak\)Sanitizer\|runtime error:' app.out)

echo
echo "jobs submitted:            $n in ${took} s (cancel requests: $cancels)"
echo "printed (at the printer):  $(cat sim/jobs/job-*.txt 2>/dev/null | grep -c '^end=trailer' || true)"
echo "ended completed/cancelled/aborted: $(count '\] Completed, ' app.log) / $(count '\] Canceled, ' app.log) / $(count '\] Aborted, ' app.log)" \
  "(of which refused busy: $(count 'server-error-busy' app.log))"
echo "queue drained:             $drained"
echo "duplicates in Get-Jobs:    $duplicates"
echo "newest job in the history: $newest"
echo "RSS start / end / peak:    $((rss_start / 1024)) / $((rss_end / 1024)) / $((peak / 1024)) MiB${RIG_APP_WRAPPER:+ (under valgrind)}"
echo "valgrind errors:           $vg_errors (exit status $status)"
echo "sanitizer reports:         $san_errors"
if [ -f valgrind.log ]; then grep -A12 'Invalid \(read\|write\)' valgrind.log | head -40 || true; fi
[ "$duplicates" = 0 ] && [ "$drained" = yes ] && [ "$newest" = yes ] && [ "$san_errors" = 0 ] &&
  { [ "$vg_errors" = - ] || [ "$vg_errors" = 0 ]; } && [ "$status" != 99 ]
