#!/usr/bin/env bash
# Bad input fails its own job with a reason and leaves the application
# serving: PostScript that fails, a secure-print key that is not four
# digits, a density out of range, garbage named PDF (aborted, not completed
# with nothing printed); a good job after them still prints.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"

dir=$(mktemp -d)
trap 'rig_stop "$dir"; rm -rf "$dir"' EXIT
rig_start "$dir" "$build"

job_test() {  # ATTR-LINE
cat <<T
{
  NAME "Print"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri \$uri
  ATTR name requesting-user-name tester
  ATTR mimeMediaType document-format \$format
  GROUP job-attributes-tag
  $1
  FILE \$filename
  STATUS successful-ok
  STATUS client-error-attributes-or-values-not-supported
}
{
  NAME "Wait"
  SKIP-IF-NOT-DEFINED job-id
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri \$uri
  ATTR integer job-id \$job-id
  STATUS successful-ok
  EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 120
  DISPLAY job-state
}
T
}
# Prints FILE FORMAT ATTRTYPE ATTR VALUE; echoes the job's end state, or
# "rejected" when the request itself was refused.
print_job() {
  local out
  job_test "ATTR $3 $4 $5" >"$dir/job.test"
  out=$(ipptool -tv -d format="$2" -f "$1" "$APP_URI" "$dir/job.test" 2>&1) || true
  if grep -q 'client-error' <<<"$out"; then echo rejected; return; fi
  sed -n 's/^ *job-state (enum) = //p' <<<"$out" | tail -1
}

printf '%%!PS\n/nosuchoperator 1 2 3 mumble\nshowpage\n' >"$dir/bad.ps"
head -c 20000 /dev/urandom >"$dir/garbage.pdf"
sed -i '1s/^/%PDF-1.4\n/' "$dir/garbage.pdf"
rig_make_pdf "$dir/good.pdf" 1

fails=0
check() {  # WHAT GOT WANTED...
  local what=$1 got=$2; shift 2
  for w in "$@"; do [ "$got" = "$w" ] && { echo "ok: $what -> $got"; return; }; done
  echo "FAIL: $what -> '$got', expected one of: $*"; fails=1
}
check "failing PostScript" "$(print_job "$dir/bad.ps" application/postscript keyword sides one-sided)" aborted
# Ghostscript reads some garbage as a document without pages, which is
# no success either.
check "garbage PDF" "$(print_job "$dir/garbage.pdf" application/pdf keyword sides one-sided)" aborted
check "three-digit key" "$(print_job "$dir/good.pdf" application/pdf text secure-print-key 123)" aborted rejected
check "density 9" "$(print_job "$dir/good.pdf" application/pdf keyword print-density-level 9)" aborted rejected
check "good job after them" "$(print_job "$dir/good.pdf" application/pdf text secure-print-key 2026)" completed
rig_wait_jobs 1 30
# Only the good job's pages reached the printer, held under its key.
for f in "$dir"/sim/jobs/job-*.txt; do
  grep -q '^pages=0' "$f" && continue
  grep -q '^holdkey=2026' "$f" || { echo "a job other than the good one printed"; cat "$f"; fails=1; }
done
kill -0 "$(cat "$dir/app.pid")" || { echo "the application died"; fails=1; }
[ "$fails" -eq 0 ] && echo PASS
exit "$fails"
