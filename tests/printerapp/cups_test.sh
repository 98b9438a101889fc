#!/usr/bin/env bash
# Printing through a private CUPS whose queue is the application (-m
# everywhere), run as installed (logins by PAM, no option to turn them off):
# a PDF and a JPEG reach the simulator with the ticket, their pages and the
# trailer, the PDF at each print-quality at the resolution its ticket names. And for the same PDF or PostScript the
# application sends the printer what the classic filter sends, byte for byte apart from the lock
# query in front and the two lines that carry the time of the job.
set -euo pipefail
build=$1
src=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"

dir=$(mktemp -d)
trap 'bash "$src/scripts/private-cups.sh" stop "$dir/cups" >/dev/null 2>&1 || true; rig_stop "$dir"; rm -rf "$dir"' EXIT
chmod 0755 "$dir"  # the filters run as lp when we are root
RIG_LOG_LEVEL=debug rig_start "$dir" "$build"  # (the log names the format CUPS sends)
eval "$(bash "$src/scripts/private-cups.sh" start "$dir/cups" --build "$build" --printer "$SIM_TCP" --no-queues |
  sed -n 's/^CUPS_SERVER=/export CUPS_SERVER=/p')"
/usr/sbin/lpadmin -p APP -E -v "$APP_URI" -m everywhere 2>/dev/null

field() { sed -n "s/^$2=//p" "$dir/sim/jobs/job-$(printf %04d "$1").txt"; }
expect_job() {  # N PAGES
  local n=$1 pages=$2 f
  for f in ticket:yes pclxl:ok end:trailer "pages:$pages"; do
    [ "$(field "$n" "${f%%:*}")" = "${f#*:}" ] ||
      { echo "job $n: ${f%%:*} is '$(field "$n" "${f%%:*}")', expected '${f#*:}'"; cat "$dir/sim/jobs/job-$(printf %04d "$n").txt"; exit 1; }
  done
  [ "$(field "$n" lock_queries)" -ge 1 ] || { echo "job $n: no lock query before the job"; exit 1; }
}

rig_make_pdf "$dir/doc.pdf" 3
convert -size 800x600 gradient:white-black "$dir/photo.jpg"

lp -d APP -t report "$dir/doc.pdf" >/dev/null
rig_wait_jobs 1 120
expect_job 1 3
[ "$(field 1 jobname)" = report ] || { echo "job name not in the ticket"; exit 1; }

lp -d APP -t photo "$dir/photo.jpg" >/dev/null
rig_wait_jobs 2 120
expect_job 2 1

# CUPS's everywhere queue at each print-quality: the PDF goes to the
# application as the queue sends it, and every page reaches the printer at
# the resolution the ticket names.
n=2
for quality in 3 4 5; do
  n=$((n + 1))
  lp -d APP -t "quality-$quality" -o print-quality=$quality "$dir/doc.pdf" >/dev/null
  rig_wait_jobs "$n" 120
  expect_job "$n" 3
  rendered=$("$build/sim/kpx7720mw-sim" render "$dir/sim/jobs/job-$(printf %04d "$n").prn") ||
    { echo "quality $quality: the printer's data does not render"; exit 1; }
  dpi=$(field "$n" set.RESOLUTION | tr -dc 0-9)  # 1200, or TR1200: its enhanced mode
  [ "$(grep -c " dpi=$dpi media=A4 " <<<"$rendered")" = 3 ] ||
    { echo "quality $quality: pages not at the ticket's $dpi dpi on A4: $rendered"; exit 1; }
  echo "print-quality $quality: CUPS sent $(grep -o "document-format\"='[^']*'" "$dir/app.log" | tail -1)," \
    "the printer got RESOLUTION=$(field "$n" set.RESOLUTION): $(head -1 <<<"$rendered")"
done

# The same document bytes both ways, PDF and PostScript: raw through CUPS
# to the application, and the classic (USB) filter run on them as CUPS
# would run it after pdftopdf or pstops (on its standard input).
gs -q -dSAFER -sDEVICE=ps2write -o "$dir/doc.ps" "$dir/doc.pdf"
root=$dir/classic
mkdir -p "$root/KPX7720MW/config" "$root/KPX7720MW/kpx7720mw/bin"
ln -s /usr/bin/gs "$root/KPX7720MW/kpx7720mw/bin/gs"
for doc in doc.pdf doc.ps; do
n=$((n + 1))
lp -d APP -t same -o raw "$dir/$doc" >/dev/null
rig_wait_jobs "$n" 120
expect_job "$n" 3
ZUVA_PRINTERS_ROOT=$root PPD=$src/ppd/KPX7720MW.ppd CUPS_REQUESTROOT=$root TMPDIR=$dir \
  "$build/filter/pstopxl_7720mw" 9 "$(id -un)" same 1 "" <"$dir/$doc" >"$dir/classic.prn" 2>"$dir/classic.err"
echo -n "$doc: "
python3 - "$dir/sim/jobs/job-$(printf %04d "$n").prn" "$dir/classic.prn" <<'PY'
import re, sys
def norm(data, lock):
    if lock:
        assert data.startswith(b"LockPrinter?"), "no lock query in front"
        while data.startswith(b"LockPrinter?"):
            data = data[12:]
    data = re.sub(rb"@PJL SET JOBTIME = \d+\n", b"", data, count=1)
    return re.sub(rb"@PJL PRINTLOG ITEM = 2,[^\n]*\n", b"", data, count=1)
app, classic = norm(open(sys.argv[1], "rb").read(), True), norm(open(sys.argv[2], "rb").read(), False)
if app != classic:
    at = next((i for i, (a, b) in enumerate(zip(app, classic)) if a != b), min(len(app), len(classic)))
    sys.exit(f"streams differ at byte {at}: app {len(app)} bytes, classic {len(classic)} bytes\n"
             f"app: {app[max(0, at - 40):at + 40]!r}\nclassic: {classic[max(0, at - 40):at + 40]!r}")
print(f"identical: {len(app)} bytes apart from the lock query and the time lines")
PY
done
echo PASS
