#!/usr/bin/env bash
# job-impressions-completed and job-media-sheets-completed count what
# reached the printer: copies and two-sided printing for PDF, streamed
# raster pages, and a job cancelled halfway through (its count is the pages
# the printer got).
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
command -v ipptool >/dev/null || { echo "SKIP: no ipptool"; exit 77; }

dir=$(mktemp -d)
trap 'rig_stop "$dir"; [ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
rig_start "$dir" "$build"
RIG_TESTS=$dir
fail() { echo "FAIL: $*"; exit 1; }

rig_make_pdf "$dir/doc.pdf" 3
gs -q -dSAFER -sDEVICE=pwgraster -r300 -dcupsColorSpace=3 -dcupsBitsPerColor=1 -o "$dir/doc.pwg" "$dir/doc.pdf" 2>/dev/null
rig_op Get-Job-Attributes 'ATTR integer job-id $jobid' 'DISPLAY job-impressions-completed' \
  'DISPLAY job-media-sheets-completed' >"$dir/counts.test"
counts() {  # JOB-ID: "IMPRESSIONS SHEETS"
  local out
  out=$(ipptool -tv -d user=tester -d jobid="$1" "$APP_URI" "$dir/counts.test")
  echo "$(sed -n 's/.*job-impressions-completed (integer) = //p' <<<"$out") $(sed -n 's/.*job-media-sheets-completed (integer) = //p' <<<"$out")"
}

# FILE FORMAT OPTIONS(name=value,...) IMPRESSIONS SHEETS
job=0
while read -r file format options impressions sheets; do
  job=$((job + 1))
  defs=()
  [ "$options" = - ] || for o in ${options//,/ }; do defs+=("${o}"); done
  extra=()
  for o in "${defs[@]}"; do
    case $o in
      copies=*) extra+=("ATTR integer copies ${o#*=}") ;;
      sides=*) extra+=("ATTR keyword sides ${o#*=}") ;;
    esac
  done
  { rig_op Print-Job 'ATTR mimeMediaType document-format $format' 'GROUP job-attributes-tag' "${extra[@]}" 'FILE $filename'
    rig_op Get-Job-Attributes 'ATTR integer job-id $job-id' 'DELAY 0.5' \
      'EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 240' 'DISPLAY job-state'
  } >"$dir/print.test"
  ipptool -tv -d user=tester -d format="$format" -f "$dir/$file" "$APP_URI" "$dir/print.test" | grep -q 'job-state (enum) = completed' ||
    fail "$file $options: not completed"
  got=$(counts "$job")
  [ "$got" = "$impressions $sheets" ] || fail "$file $options: counted '$got', expected '$impressions $sheets'"
  echo "ok: $file $options: $got"
done <<'CASES'
doc.pdf application/pdf - 3 3
doc.pdf application/pdf copies=2 6 6
doc.pdf application/pdf sides=two-sided-long-edge 3 2
doc.pdf.ps application/postscript copies=2,sides=two-sided-short-edge 6 3
doc.pwg image/pwg-raster - 3 3
CASES

# Cancelled halfway: the count is what the printer got.
rig_make_pdf "$dir/long.pdf" 2000
rig_op Print-Job 'ATTR mimeMediaType document-format application/pdf' 'FILE $filename' 'DISPLAY job-id' >"$dir/submit.test"
ipptool -tv -d user=tester -f "$dir/long.pdf" "$APP_URI" "$dir/submit.test" >/dev/null
job=$((job + 1))
for _ in $(seq 1 100); do
  got=$(counts "$job")
  [ "${got% *}" -gt 0 ] && break
  sleep 0.1
done
rig_op Cancel-Job 'ATTR integer job-id $jobid' >"$dir/cancel.test"
ipptool -t -d user=tester -d jobid="$job" "$APP_URI" "$dir/cancel.test" >/dev/null || fail "Cancel-Job refused"
rig_wait_jobs "$job" 60
sleep 1
got=$(counts "$job")
sent=$(sed -n 's/^pages=//p' "$dir/sim/jobs/job-$(printf %04d "$job").txt")
[ "${got% *}" = "$sent" ] && [ "${got#* }" = "$sent" ] && [ "$sent" -gt 0 ] && [ "$sent" -lt 2000 ] ||
  fail "cancelled job: counted '$got', the printer got $sent pages"
echo "ok: cancelled after $sent of 2000 pages: $got"
echo PASS
