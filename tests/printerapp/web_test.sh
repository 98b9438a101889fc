#!/usr/bin/env bash
# The printer's web pages as a browser shows them (headless Chromium): the
# state with one period per reason, the option labels and no default
# secure-print key, the supplies page with the toner's state in words, the
# printer's own icon at PAPPL's three sizes, and Print Test Page printing a
# page. With KPX_WEB_SHOTS=DIR it also leaves screenshots there.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
browser=$(command -v chromium || true)
[ -n "$browser" ] || { echo "SKIP: no chromium"; exit 77; }

dir=$(mktemp -d)
trap 'rig_stop "$dir"; rm -rf "$dir"' EXIT
rig_start "$dir" "$build"
base=http://localhost:$APP_PORT/KPX7720MW
fail() { echo "FAIL: $*"; exit 1; }

rig_sim status 44114 10209 >/dev/null
rig_wait_attrs "$dir" 'printer-state-reasons .*media-jam'

page() {  # NAME PATH: the page's DOM after the browser rendered it
  HOME=$dir "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$dir/chromium" \
    --dump-dom "$base$2" 2>/dev/null >"$dir/$1.html"
  if [ -n "${KPX_WEB_SHOTS:-}" ]; then
    HOME=$dir "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$dir/chromium" --hide-scrollbars \
      --window-size=1000,820 --screenshot="$KPX_WEB_SHOTS/printer-app-$1.png" "$base$2" >/dev/null 2>&1
  fi
}
has() { grep -Eq "$2" "$dir/$1.html" || fail "$1 page lacks /$2/"; }
lacks() { ! grep -Eq "$2" "$dir/$1.html" || fail "$1 page shows /$2/: $(grep -Eo ".{0,40}$2.{0,40}" "$dir/$1.html" | head -1)"; }

page printer /
has printer 'Paper jam, Toner low\.'
lacks printer '\.\.|\., '
has printer 'value="Print Test Page"'

page defaults /printing
has defaults '<th>Toner saving:</th>'
has defaults '<option value="1">\+1 \(darker\)</option>'
has defaults '<input type="text" name="secure-print-key" value="">'
lacks defaults '<select name="secure-print-key"'

page supplies /supplies
has supplies '<th>Black Toner</th>.*Low: have a new cartridge ready'

# The icons: the printer's own drawing at 48, 128 and 512 pixels.
for icon in sm:48 md:128 lg:512; do
  curl -sf "$base/icon-${icon%%:*}.png" -o "$dir/icon.png" || fail "no icon-${icon%%:*}.png"
  size=$(identify -format '%wx%h' "$dir/icon.png")
  [ "$size" = "${icon#*:}x${icon#*:}" ] || fail "icon-${icon%%:*}.png is $size"
done
cmp -s "$dir/icon.png" "$build/printerapp/icons/icon-512.png" || fail "icon-lg.png is not the printer's icon"
curl -sf "http://localhost:$APP_PORT/navicon.png" -o "$dir/icon.png" && cmp -s "$dir/icon.png" "$build/printerapp/icons/icon-48.png" ||
  fail "the pages' bar does not show the printer's icon"

# Print Test Page, as the button does it: one page reaches the printer.
# (The form's token depends on the client's address: the same client asks.)
token=$(curl -sf "$base/" | sed -n 's/.*name="session" value="\([0-9a-f]*\)".*/\1/p' | head -1)
curl -sf -d "session=$token&action=print-test-page" "$base/" >"$dir/posted.html" || true
grep -q "Test page printed" "$dir/posted.html" || fail "Print Test Page refused: $(grep -o "<div class=.banner.>[^<]*" "$dir/posted.html")"
rig_wait_jobs 1 120
job=$dir/sim/jobs/job-0001.txt
for f in ticket=yes pclxl=ok end=trailer pages=1 'jobname=Test Page'; do
  grep -qx "$f" "$job" || fail "test page: no $f in $(tr '\n' ' ' <"$job")"
done
echo PASS
