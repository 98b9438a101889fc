#!/usr/bin/env bash
# Documents and requests that used to crash, freeze or wedge the application
# end their own job (or request) quickly and leave it serving: raster pages
# wider or higher than any paper, a grey page wider than the job's paper,
# broken and huge images, endless PostScript, oversized requests, stalled
# and idle connections, a cancel right after submission, and Delete-Printer.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
command -v ipptool >/dev/null || { echo "ipptool missing (cups-ipp-utils)"; exit 77; }

dir=$(mktemp -d)
stall=
trap '[ -z "$stall" ] || kill "$stall" 2>/dev/null || true; rig_stop "$dir"; rm -rf "$dir"' EXIT
RIG_APP_OPTIONS="-o job-time-limit=5" rig_start "$dir" "$build"
app=$build/printerapp/kpx7720mw-printer-app
pid=$(cat "$dir/app.pid")
fails=0
fail() { echo "FAIL: $*"; fails=1; }
alive() { kill -0 "$pid" 2>/dev/null || { echo "FAIL: the application died ($1)"; tail -5 "$dir/app.out"; exit 1; }; }

# A request whose body stops coming (watched in the background while the
# rest runs): the connection must be dropped after its 30 s, not held.
python3 - "$APP_PORT" >"$dir/stall" <<'PY' &
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(b"POST /ipp/print/KPX7720MW HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n"
          b"Content-Length: 1000\r\n\r\n\x02\x00\x00\x0b")
start = time.time()
s.settimeout(300)
try:
    while s.recv(4096):
        pass
except OSError:
    pass
print(int(time.time() - start))
PY
stall=$!

# The documents. Raster headers are a real page's (Ghostscript's) with the
# size changed; images are written here, small on disk.
cd "$dir"
gs -q -dSAFER -sDEVICE=pwgraster -r600 -sPAPERSIZE=letter -sColorConversionStrategy=Gray -dcupsColorSpace=18 \
  -dcupsBitsPerColor=8 -o grey.pwg -c '0.5 setgray 0 0 612 792 rectfill showpage'
convert -size 16x16 xc:gray small.jpg
printf '%%!PS\n{} loop\n' >loop.ps
rig_make_pdf good.pdf 1
python3 - <<'PY'
import struct, zlib
def chunk(t, data):
    return struct.pack(">I", len(data)) + t + data + struct.pack(">I", zlib.crc32(t + data))
def png(w, h, rest):
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 0, 0, 0, 0)) + rest
open("truncated.png", "wb").write(png(100, 100, b""))  # 33 bytes: the header, nothing after
z, rows = zlib.compressobj(6), []
for _ in range(16384):
    rows.append(z.compress(b"\0" + b"\xff" * 16384))
open("huge.png", "wb").write(png(16384, 16384, chunk(b"IDAT", b"".join(rows) + z.flush()) + chunk(b"IEND", b"")))
jpeg = bytearray(open("small.jpg", "rb").read())  # a 16x16 JPEG claiming 16384x16384
struct.pack_into(">HH", jpeg, jpeg.index(b"\xff\xc0") + 5, 16384, 16384)
open("huge.jpg", "wb").write(jpeg)
page = open("grey.pwg", "rb").read()
for name, w, h in (("wide.pwg", 60000, 100), ("tall.pwg", 4960, 4294967295)):
    head = bytearray(page[4:4 + 1796])
    struct.pack_into(">II", head, 372, w, h)  # cupsWidth, cupsHeight
    struct.pack_into(">I", head, 392, w)      # cupsBytesPerLine (8 bits a pixel)
    line = b"\0" + b"\x7f\x80" * (w // 128) + (bytes([w % 128 - 1, 0x80]) if w % 128 else b"")
    open(name, "wb").write(b"RaS2" + bytes(head) + line * (20000 // len(line) + 1))
PY

# NAME FILE FORMAT END (a pattern for "STATE REASONS") SECONDS
while read -r name file format want limit; do
  start=$SECONDS
  got=$(rig_print "$file" "$format" name="$name")
  took=$((SECONDS - start))
  if [[ "$got" =~ ^($want)$ ]] && [ "$took" -le "$limit" ]; then echo "ok: $name -> $got (${took}s)"
  else fail "$name -> '$got' after ${took}s, expected /$want/ within ${limit}s"; fi
  alive "$name"
done <<'CASES'
grey-letter     grey.pwg       image/pwg-raster       completed.* 60
wide-60000      wide.pwg       image/pwg-raster       aborted.*document-(format|unprintable)-error.* 20
tall-4g         tall.pwg       image/pwg-raster       aborted.*document-(format|unprintable)-error.* 20
truncated-png   truncated.png  image/png              aborted.* 20
huge-png        huge.png       image/png              (aborted.*|rejected.*) 20
huge-jpeg       huge.jpg       image/jpeg             (aborted.*|rejected.*) 20
endless-ps      loop.ps        application/postscript aborted.*document-unprintable-error.* 30
good            good.pdf       application/pdf        completed.* 60
CASES
# PAPPL decodes images in the application itself: the budget shows in its peak.
peak=$(awk '/^VmHWM/ {print int($2 / 1024)}' "/proc/$pid/status")
echo "application peak RSS: ${peak} MiB"
[ "$peak" -lt 250 ] || fail "peak RSS ${peak} MiB after the huge images"

# At the printer: the grey page whole at its own size (5100 x 6600 pixels,
# Letter at 600 dpi, on the Letter paper its header names, although the job
# asked for nothing and the printer's default is A4), the good page, and
# nothing of the others.
rig_wait_jobs 2 60
record() { grep -l "^jobname=$1$" sim/jobs/job-*.txt 2>/dev/null | head -1 || true; }
for name in grey-letter good; do
  f=$(record "$name")
  [ -n "$f" ] && grep -q '^pages=1$' "$f" && grep -q '^end=trailer$' "$f" || fail "$name did not print one whole page"
done
size=$(python3 - "$(record grey-letter | sed 's/txt$/prn/')" <<'PY'
import re, struct, sys
data = open(sys.argv[1], "rb").read()
# SourceWidth / SourceHeight (uint16 attributes 0x6c / 0x6b) of BeginImage,
# MediaSize (ubyte 0x25; 0 is Letter)
print(*[struct.unpack("<H", m.group(1))[0] for a in (b"\x6c", b"\x6b")
        for m in re.finditer(rb"\xc1(..)\xf8" + a, data, re.S)],
      *[m.group(1)[0] for m in re.finditer(rb"\xc0(.)\xf8\x25", data, re.S)])
PY
)
[ "$size" = "5100 6600 0" ] || fail "the grey page reached the printer as '$size' (width height paper), not '5100 6600 0'"
for name in wide-60000 tall-4g truncated-png huge-png huge-jpeg endless-ps; do
  f=$(record "$name")
  [ -z "$f" ] || grep -q '^pages_begun=0$' "$f" || fail "$name printed a page"
done

# Oversized requests are refused at once (400), not answered at length.
vals=$(printf 'all,%.0s' $(seq 1 2000))
many=$(for i in $(seq 1 1001); do echo "ATTR keyword x-attr-$i one"; done)
for req in "ATTR keyword requested-attributes ${vals%,}" "$many"; do
  rig_op Get-Printer-Attributes "$req" >big.test
  start=$SECONDS
  out=$(timeout 60 ipptool -t "$APP_URI" big.test 2>&1) && fail "an oversized request was answered"
  grep -q 'client-error-bad-request' <<<"$out" || fail "an oversized request: $(tail -2 <<<"$out")"
  [ $((SECONDS - start)) -le 5 ] || fail "an oversized request took $((SECONDS - start)) s"
done
timeout 30 ipptool -t "$APP_URI" /usr/share/cups/ipptool/get-printer-attributes.test >/dev/null ||
  fail "no answer after the oversized requests"

# 150 idle connections are not 150 threads (64 are served, the others
# wait in the listen queue).
threads=$(python3 - "$APP_PORT" "$pid" <<'PY'
import socket, sys, time
held = [socket.create_connection(("127.0.0.1", int(sys.argv[1]))) for _ in range(150)]
time.sleep(2)
print(next(l.split()[1] for l in open(f"/proc/{sys.argv[2]}/status") if l.startswith("Threads:")))
PY
)
echo "threads with 150 idle connections: $threads"
[ "$threads" -le 70 ] || fail "$threads threads for 150 idle connections"

# Cancel right after submission, ten times: no page of a cancelled job
# reaches the printer (a job the cancel came too late for ends completed).
rig_make_pdf long.pdf 6
for i in $(seq 1 10); do
  rig_op Print-Job "ATTR name job-name c$i" 'ATTR mimeMediaType document-format application/pdf' 'FILE long.pdf'
  rig_op Cancel-Job 'ATTR integer job-id $job-id' 'STATUS successful-ok' 'STATUS client-error-not-possible'
  rig_op Get-Job-Attributes 'ATTR integer job-id $job-id' 'DELAY 0.5' 'STATUS successful-ok' \
    'EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 120' 'DISPLAY job-name' 'DISPLAY job-state'
done >cancel.test
timeout 300 ipptool -tv "$APP_URI" cancel.test >cancel.out 2>&1 || { fail "cancel rounds"; grep -A3 FAIL cancel.out; }
sleep 3  # (a page of a cancelled job would come now)
ends=$(awk '/Print-Job/ {w=0} /Get-Job-Attributes/ {w=1} w && /job-name \(/ {n=$NF; if (!(n in seen)) {seen[n]=1; k[++m]=n}}
           w && /job-state \(/ {st[n]=$NF} END {for (i = 1; i <= m; i++) print k[i], st[k[i]]}' cancel.out)
echo "cancelled right after submission:" $(grep -c canceled <<<"$ends") "of 10"
while read -r name state; do
  f=$(record "$name")
  [ "$state" = completed ] || [ "$state" = canceled ] || fail "$name ended $state"
  [ "$state" = completed ] || [ -z "$f" ] || grep -q '^pages_begun=0$' "$f" || fail "cancelled $name sent a page"
done <<<"$ends"
[ "$(wc -l <<<"$ends")" = 10 ] || fail "not every cancelled job ended: $ends"

# Delete-Printer, then the same printer again: the server answers each step.
step() { timeout 30 "$@" >/dev/null 2>&1 || fail "no answer (or an error) to: $*"; }
step "$app" delete -d KPX7720MW
step "$app" printers
step curl -sf -o /dev/null "http://localhost:$APP_PORT/"
step "$app" add -d KPX7720MW -m kpx7720mw -v "socket://$SIM_TCP"
before=$(ls sim/jobs/*.txt | wc -l)
got=$(rig_print good.pdf application/pdf name=after-delete)
[[ "$got" == completed* ]] || fail "printing after Delete-Printer: $got"
rig_wait_jobs $((before + 1)) 60 || fail "nothing reached the printer after Delete-Printer"
alive "Delete-Printer"

wait "$stall" || true
took=$(cat stall)
echo "stalled request dropped after ${took}s"
[ -n "$took" ] && [ "$took" -le 60 ] || fail "a stalled request was held ${took:-?} s"
[ "$fails" -eq 0 ] && echo PASS
exit "$fails"
