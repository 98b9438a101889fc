#!/usr/bin/env bash
# Every raster page prints at its own size, whatever printer-resolution the
# job asks for: pages from Ghostscript's raster devices (pwgraster,
# appleraster, urf) at 300, 600 and 1200 dpi, on A4, Letter and a custom
# size, in 1-bit black and 8-bit grey, reach the printer bit for bit as
# sent (the simulator renders what the printer would print), on paper of
# the page's size. PNG and JPEG print at the size their resolution gives,
# or scaled to fit as asked. A custom size named by its dimensions prints
# on that size or is refused. A raster type the printer does not list
# (sgray_1), or a resolution it does not have, ends the job unprinted.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
command -v ipptool >/dev/null || { echo "SKIP: no ipptool"; exit 77; }

dir=$(mktemp -d)
trap 'rig_stop "$dir"; rm -rf "$dir"' EXIT
rig_start "$dir" "$build"
RIG_TESTS=$dir

# A page of black marks that Ghostscript draws the same on every device:
# a frame 5 mm inside the edges, a 100 mm ruler, text and a box.
cat >"$dir/page.ps" <<'PS'
%!PS
/mm { 72 mul 25.4 div } def
currentpagedevice /PageSize get aload pop /h exch def /w exch def
0 setgray 2 setlinewidth 5 mm 5 mm w 10 mm sub h 10 mm sub rectstroke
20 mm h 30 mm sub moveto 100 mm 0 rlineto stroke
0 1 100 { /i exch def 20 mm i mm add h 30 mm sub moveto 0 i 10 mod 0 eq { 6 mm } { 3 mm } ifelse rlineto stroke } for
/Helvetica findfont 14 scalefont setfont 20 mm h 45 mm sub moveto (KPX7720MW true size) show
20 mm 20 mm 30 mm 40 mm rectfill
showpage
PS

fail() { echo "FAIL: $*"; exit 1; }
# PRODUCER DPI PAPER(w h in points) PRINTER-RESOLUTION TYPE(space bits)
cases="pwgraster 300 595 842 - 3 1
pwgraster 300 595 842 600 3 1
pwgraster 600 612 792 300 3 1
pwgraster 1200 595 842 - 3 1
pwgraster 600 283.46 425.2 - 3 1
pwgraster 600 595 842 - 18 8
appleraster 300 612 792 - 18 8
urf 600 595 842 1200 18 8"
n=0
while read -r producer dpi w h res space bits; do
  n=$((n + 1))
  what="$producer ${dpi}dpi ${w}x${h}pt type $space/$bits printer-resolution $res"
  paper=(-dDEVICEWIDTHPOINTS="$w" -dDEVICEHEIGHTPOINTS="$h" -dFIXEDMEDIA)
  gs -q -dSAFER -sDEVICE="$producer" -r"$dpi" "${paper[@]}" -dcupsColorSpace="$space" -dcupsBitsPerColor="$bits" \
    -o "$dir/page.ras" "$dir/page.ps" 2>/dev/null
  format=image/pwg-raster
  [ "$producer" = pwgraster ] || format=image/urf
  extra=()
  [ "$res" = - ] || extra=("ATTR resolution printer-resolution ${res}dpi")
  { rig_op Print-Job 'ATTR mimeMediaType document-format $format' 'GROUP job-attributes-tag' "${extra[@]}" 'FILE $filename'
    rig_op Get-Job-Attributes 'ATTR integer job-id $job-id' 'DELAY 0.5' \
      'EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 240' 'DISPLAY job-state'
  } >"$dir/print.test"
  out=$(ipptool -tv -d user=tester -d format=$format -f "$dir/page.ras" "$APP_URI" "$dir/print.test" 2>&1) ||
    fail "$what: $(grep -E 'status-code|FAIL' <<<"$out" | head -3)"
  grep -q 'job-state (enum) = completed' <<<"$out" || fail "$what: job not completed"
  rig_wait_jobs "$n" 60
  rm -f "$dir"/page-*.pbm
  line=$("$build/sim/kpx7720mw-sim" render "$dir/sim/jobs/job-$(printf %04d "$n").prn" --out "$dir") ||
    fail "$what: the printer's data does not render"
  /usr/bin/python3 - "$dir/page-1.pbm" "$dir/page.ras" "$line" "$dpi" "$what" <<'PY' || exit 1
import re, struct, sys
got_path, sent_path, line, dpi, what = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]

def sent_page(path):
    """The first page of a PWG or Apple raster file as rows of 1-bit black."""
    data = open(path, "rb").read()
    if data[:4] == b"RaS2":
        h = data[4:4 + 1796]
        w, ht = struct.unpack(">II", h[372:380])
        bits, space = struct.unpack(">I", h[388:392])[0], struct.unpack(">I", h[400:404])[0]
        pos = 4 + 1796
    elif data[:8] == b"UNIRAST\0":
        h = data[12:44]
        bits, space = h[0], 18
        w, ht = struct.unpack(">II", h[12:20])
        pos = 44
    else:
        sys.exit(f"FAIL: {what}: not a raster file")
    unit = max(bits // 8, 1)
    line_bytes = (w * bits + 7) // 8
    white = b"\x00" if space == 3 else b"\xff"
    rows = []
    while len(rows) < ht:
        repeat = data[pos] + 1
        pos += 1
        row = bytearray()
        while len(row) < line_bytes:
            c = data[pos]
            pos += 1
            if c == 128:
                row += white * (line_bytes - len(row))
            elif c < 128:
                row += data[pos:pos + unit] * (c + 1)
                pos += unit
            else:
                n = (257 - c) * unit
                row += data[pos:pos + n]
                pos += n
        row = bytes(row[:line_bytes])
        if bits == 8:
            if any(v not in (0, 255) for v in row):
                sys.exit(f"FAIL: {what}: the producer drew grey, the page should be black and white")
            packed = bytearray((w + 7) // 8)
            for x, v in enumerate(row):
                if v == 0:
                    packed[x >> 3] |= 0x80 >> (x & 7)
            row = bytes(packed)
        rows += [row] * repeat
    return w, ht, rows[:ht]

def pbm(path):
    data = open(path, "rb").read()
    m = re.match(rb"P4\s+(?:#[^\n]*\n\s*)*(\d+)\s+(\d+)\s", data)
    w, h = int(m.group(1)), int(m.group(2))
    stride = (w + 7) // 8
    return w, h, [data[m.end() + y * stride: m.end() + (y + 1) * stride] for y in range(h)]

ww, wh, want = sent_page(sent_path)
gw, gh, got = pbm(got_path)
if f"dpi={dpi} " not in line + " ":
    sys.exit(f"FAIL: {what}: printed at another resolution: {line}")
# The paper: the page's size, to within a point.
slack = dpi // 72 + 1
if abs(gw - ww) > slack or abs(gh - wh) > slack:
    sys.exit(f"FAIL: {what}: paper {gw}x{gh} pixels, the page is {ww}x{wh}: {line}")
w, h = min(gw, ww), min(gh, wh)
stride, tail = w // 8, w % 8
mask = (0xff << (8 - tail)) & 0xff
for y in range(h):
    a, b = got[y], want[y]
    if a[:stride] != b[:stride] or (tail and (a[stride] & mask) != (b[stride] & mask)):
        x = next((i for i in range(stride) if a[i] != b[i]), stride) * 8
        sys.exit(f"FAIL: {what}: row {y} differs from the page sent near x={x}: {line}")
print(f"ok: {what}: {line}")
PY
done <<<"$cases"

# PNG and JPEG: a 2x1 inch black bar at 72, 150 and 300 pixels per inch
# prints 2x1 inches at 600 dpi with print-scaling=none, and across the
# printable width with print-scaling=fit.
bbox() {  # PBM: "WIDTHxHEIGHT" of what is black on it
  /usr/bin/python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
m = re.match(rb"P4\s+(?:#[^\n]*\n\s*)*(\d+)\s+(\d+)\s", data)
w, h = int(m.group(1)), int(m.group(2))
stride = (w + 7) // 8
rows = [y for y in range(h) if any(data[m.end() + y * stride: m.end() + (y + 1) * stride])]
cols = set()
for y in (rows[0], rows[len(rows) // 2], rows[-1]) if rows else ():
    row = data[m.end() + y * stride: m.end() + (y + 1) * stride]
    cols.update(x for x in range(w) if row[x >> 3] & (0x80 >> (x & 7)))
print(f"{max(cols) - min(cols) + 1}x{rows[-1] - rows[0] + 1}" if rows else "0x0")
PY
}
near() { local got=$1 want=$2; [ $((got * 100)) -ge $((want * 97)) ] && [ $((got * 100)) -le $((want * 103)) ]; }
for ppi in 72 150 300; do
  for kind in png:image/png jpg:image/jpeg; do
    convert -size $((2 * ppi))x"$ppi" xc:black -units PixelsPerInch -density "$ppi" -type Grayscale "$dir/bar.${kind%%:*}"
    for scaling in none fit; do
      n=$((n + 1))
      what="${kind%%:*} at $ppi ppi, print-scaling=$scaling"
      { rig_op Print-Job 'ATTR mimeMediaType document-format $format' 'GROUP job-attributes-tag' \
          "ATTR keyword print-scaling $scaling" 'ATTR resolution printer-resolution 600dpi' 'FILE $filename'
        rig_op Get-Job-Attributes 'ATTR integer job-id $job-id' 'DELAY 0.5' \
          'EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 240' 'DISPLAY job-state'
      } >"$dir/print.test"
      out=$(ipptool -tv -d user=tester -d format="${kind#*:}" -f "$dir/bar.${kind%%:*}" "$APP_URI" "$dir/print.test" 2>&1) ||
        fail "$what: $(grep -E 'status-code|FAIL' <<<"$out" | head -3)"
      rig_wait_jobs "$n" 60
      rm -f "$dir"/page-*.pbm
      line=$("$build/sim/kpx7720mw-sim" render "$dir/sim/jobs/job-$(printf %04d "$n").prn" --out "$dir") ||
        fail "$what: the printer's data does not render"
      size=$(bbox "$dir/page-1.pbm")
      bw=${size%x*} bh=${size#*x}
      paper=$(sed -n 's/.* paper=\([0-9]*\)x.*/\1/p' <<<"$line")
      if [ "$scaling" = none ]; then
        near "$bw" 1200 && near "$bh" 600 || fail "$what: the bar prints ${size} pixels at 600 dpi, not 1200x600"
      else
        [ $((bw * 100)) -ge $((paper * 90)) ] && near $((bw / 2)) "$bh" ||
          fail "$what: the bar prints ${size} pixels on paper $paper wide"
      fi
      echo "ok: $what: bar ${size} pixels: $line"
    done
  done
done

# A custom size asked for by its name prints on that size; one outside the
# printer's range is refused, not printed on A4.
rig_make_pdf "$dir/doc.pdf" 1
for media in custom_card_100x150mm:ok custom_poster_300x500mm:refused; do
  rig_op Print-Job 'ATTR mimeMediaType document-format application/pdf' 'GROUP job-attributes-tag' \
    "ATTR keyword media ${media%%:*}" 'FILE $filename' 'STATUS successful-ok' \
    'STATUS client-error-attributes-or-values-not-supported' 'DISPLAY job-id' >"$dir/media.test"
  out=$(ipptool -tv -d user=tester -f "$dir/doc.pdf" "$APP_URI" "$dir/media.test" 2>&1) || fail "${media%%:*}: $out"
  if [ "${media#*:}" = refused ]; then
    grep -q 'status-code = client-error-attributes-or-values-not-supported' <<<"$out" || fail "${media%%:*} was accepted"
    continue
  fi
  n=$((n + 1))
  rig_wait_jobs "$n" 60
  line=$("$build/sim/kpx7720mw-sim" render "$dir/sim/jobs/job-$(printf %04d "$n").prn") || fail "${media%%:*}: no render"
  # 100x150 mm at 600 dpi, to within a pixel.
  grep -Eq ' media=custom paper=236[12]x354[23] ' <<<"$line" || fail "${media%%:*} printed on other paper: $line"
  echo "ok: ${media%%:*}: $line"
done

# What the printer cannot print as sent ends the job unprinted, with the
# reason: sgray_1, a type it does not list, and a resolution it does not have.
while read -r what space bits dpi reason; do
  gs -q -dSAFER -sDEVICE=pwgraster -r"$dpi" -dcupsColorSpace="$space" -dcupsBitsPerColor="$bits" \
    -o "$dir/refused.ras" "$dir/page.ps" 2>/dev/null
  result=$(rig_print "$dir/refused.ras" image/pwg-raster)
  case $result in "aborted "*"$reason"*) ;; *) fail "$what: $result" ;; esac
  echo "ok: $what: $result"
done <<'REFUSED'
sgray_1 18 1 600 document-format-error
150-dpi 3 1 150 document-unprintable-error
REFUSED
sleep 1
[ "$(ls "$dir/sim/jobs" | grep -c '\.prn$')" = "$n" ] || fail "a refused page reached the printer"
echo PASS
