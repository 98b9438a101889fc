#!/usr/bin/env bash
# The main job, end to end with no hardware: builds the driver, starts the
# printer simulator and a private CUPS, prints a sample document to both
# queues (one of them as a secure-print job), waits for the jobs and shows
# what the printer received and what the job log says. Stops everything
# it started on the way out.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/setup.sh
build=build-demo
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target pstopxl_7720mw pstopxl_7720mw_net kpx7720mw-sim >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kpx7720mw-demo.XXXXXX")
chmod 0755 "$work"  # run as root, CUPS runs filters and backends as lp
sim=$build/sim/kpx7720mw-sim
cleanup() {
  "$top/scripts/private-cups.sh" stop "$work/cups" >/dev/null 2>&1 || true
  "$top/$sim" ctl --socket "$work/sim/ctl.sock" quit >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

echo "== starting the printer simulator and a private CUPS in $work"
"$build/sim/kpx7720mw-sim-start.sh" "$work/sim" --lock free --status "CODE=10001" >/dev/null
printer=$(sed -n 's/^tcp=//p' "$work/sim/ready")
cups=$(scripts/private-cups.sh start "$work/cups" --build "$build" --printer "$printer" 2>/dev/null)
export "$(echo "$cups" | grep '^CUPS_SERVER=')"
root="$work/cups/root"
lpstat -v

echo
echo "== printing a three-page sample document"
doc="$work/sample.ps"
{
  echo '%!PS-Adobe-3.0'
  echo '%%Title: KPX7720MW sample'
  echo '%%Pages: 3'
  echo '%%EndComments'
  for p in 1 2 3; do
    echo "%%Page: $p $p"
    echo '/Helvetica-Bold findfont 28 scalefont setfont 72 740 moveto (KPX7720MW sample page '"$p"') show'
    echo '/Helvetica findfont 12 scalefont setfont'
    for l in $(seq 1 30); do
      echo "72 $((700 - l * 18)) moveto (Line $l: printed through CUPS to the simulated printer.) show"
    done
    echo '0.5 setgray 72 120 moveto 540 120 lineto 540 180 lineto 72 180 lineto closepath fill 0 setgray'
    echo 'showpage'
  done
  echo '%%EOF'
} >"$doc"

lp -d KPX7720MW -t "Quarterly report" -o Duplex=DuplexNoTumble -o MediaType=THICK -o TonerSaveMode=ON "$doc"
lp -d KPX7720MW -t "Payslips (secure)" -o Passwd1=2 -o Passwd2=0 -o Passwd3=2 -o Passwd4=6 "$doc"
lp -d KPX7720MW-net -t "Network copy" -o Resolution=1200dpi -o InputSlot=TRAY1 -o PrintDensity=2 "$doc"

"$sim" ctl --socket "$work/sim/ctl.sock" wait-jobs 3 ${DEMO_WAIT:-120} >/dev/null
for _ in $(seq 1 100); do
  [ -z "$(lpstat -o 2>/dev/null)" ] && break
  sleep 0.1
done

echo
echo "== what the printer received"
"$sim" ctl --socket "$work/sim/ctl.sock" jobs | awk -F= '
  function flush() {
    if (job == "") return
    printf "job %s: %s bytes, %s pages, PCL XL %s, ended by %s%s\n", job, bytes, pages, pclxl, end, (lock > 0 ? ", after " lock " lock query(s)" : "")
    printf "   name \"%s\", user %s, held %s%s\n", name, user, held, (key != "" ? " under key " key : "")
    printf "   settings:%s\n", settings
    job = ""; settings = ""; key = ""
  }
  /^job=/ { flush(); job = $2 }
  /^bytes=/ { bytes = $2 } /^pages=/ { pages = $2 } /^pclxl=/ { pclxl = $2 } /^end=/ { end = $2 }
  /^lock_queries=/ { lock = $2 } /^jobname=/ { name = substr($0, 9) } /^set.USERNAME=/ { user = $2 }
  /^held=/ { held = $2 } /^holdkey=/ { key = $2 }
  /^set\.(RESOLUTION|SOURCETRAY|MEDIATYPE|ECONOMODE|DENSITY|HOLD)=/ { sub(/^set\./, "", $1); settings = settings " " $1 "=" $2 }
  END { flush() }'

echo
echo "== job log of the USB queue ($root/KPX7720MW/print_log)"
cat "$root/KPX7720MW/print_log"
echo
echo "== job log of the network queue ($root/KPX7720MW_net/print_log)"
cat "$root/KPX7720MW_net/print_log"
echo
echo "== records for the desktop monitors"
echo "printerState: $(cat "$root/KPX7720MW/config/printerState")"
echo "printerInfo (network queue):"
sed 's/^/   /' "$root/KPX7720MW_net/config/printerInfo"
