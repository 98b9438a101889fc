#!/usr/bin/env bash
# The package's life against a real CUPS that sees the printer on USB: the
# simulator's emulated printer, found by CUPS's own usb backend under
# umockdev. postinst must add the queue "KPX7720MW" for the printer's usb://
# URI with the package's PPD, leave it alone when run again, and the queue
# must print over USB. The plug-in helper (what the udev rule's service
# runs) must leave a foreign queue of that name alone, wait for a CUPS that
# is down, and add one queue through a burst of plug/unplug events. Removal
# holds the queues with a reason, reinstalling takes them back and restarts
# the job CUPS stopped for lack of the filter, and a purge removes only the
# package's directories.
#
#   usb_queue_test.sh BUILD_DIR SOURCE_DIR
#
# Exit 77 (skipped) without root (CUPS runs the usb backend only as root)
# or without the simulator.
set -uo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
sim=$build/sim/kpx7720mw-sim
control=$build/packaging/control

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: needs root (CUPS's usb backend runs as root only)"; exit 77; fi
[ -x "$sim" ] || { echo "SKIP: no simulator in $build"; exit 77; }
[ -x /usr/sbin/cupsd ] && [ -x /usr/lib/cups/backend/usb ] || { echo "SKIP: cups is not installed"; exit 77; }

tmp=$(mktemp -d)
chmod 0755 "$tmp"  # CUPS's helpers run as lp and read the PPDs below it
cleanup() {
  bash "$src/scripts/private-cups.sh" stop "$tmp/cups" >/dev/null 2>&1
  "$sim" ctl --socket "$tmp/sim/ctl.sock" quit >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

"$build/sim/kpx7720mw-sim-start.sh" "$tmp/sim" --usb >"$tmp/sim.ready" || { cat "$tmp/sim.ready"; echo "FAIL: simulator"; exit 1; }
usbdir=$(sed -n 's/^usb_dir=//p' "$tmp/sim.ready")
tcp=$(sed -n 's/^tcp=//p' "$tmp/sim.ready")
simctl() { "$sim" ctl --socket "$tmp/sim/ctl.sock" "$@"; }
start_cups() {
  bash "$src/scripts/private-cups.sh" start "$tmp/cups" --build "$build" --printer "$tcp" --no-queues \
    --usb-dir "$usbdir" --models "$@" >"$tmp/cups.out" 2>&1 || { cat "$tmp/cups.out"; echo "FAIL: private cupsd"; exit 1; }
}
start_cups
export CUPS_SERVER=127.0.0.1:$(cat "$tmp/cups/port")
uri='usb://ZUVA/KPX7720MW?serial=KPX7720MW0001'

# The maintainer scripts of the package, pointed at a temporary install root
# inside a stand-in /opt that also holds another vendor's file.
opt=$tmp/opt
root=$opt/zuva/Printers
mkdir -p "$opt/othervendor"
echo "not ours" >"$opt/othervendor/keep"
helper=$src/packaging/helpers/usb-queue
for s in preinst postinst prerm postrm; do
  sed -e "s#^ROOT=\"/opt/zuva/Printers\"\$#ROOT=\"$root\"#" \
      -e "s#^LIBEXEC=\"/usr/libexec/kpx7720mw\"\$#LIBEXEC=\"${helper%/*}\"#" "$control/$s" >"$tmp/$s"
  chmod +x "$tmp/$s"
done
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
"$tmp/preinst" install || fail "preinst install"

out=$("$tmp/postinst" configure 2>&1); status=$?
[ "$status" -eq 0 ] || fail "postinst configure exited $status: $out"
[ "$out" = "kpx7720mw: added the print queue KPX7720MW for $uri" ] && ok "postinst: $out" \
  || fail "postinst did not report the queue: $out"
lpstat -v KPX7720MW 2>&1 | grep -qxF "device for KPX7720MW: $uri" && ok "queue KPX7720MW prints to $uri" \
  || fail "queue device: $(lpstat -v 2>&1)"
# The package's PPD: its media types are the printer's own.
lpoptions -p KPX7720MW -l 2>&1 | grep -q '^MediaType/.* THICKERPAPER2 ' && ok "queue has the KPX7720MW PPD" \
  || fail "queue options are not the KPX7720MW PPD's: $(lpoptions -p KPX7720MW -l 2>&1 | head -3)"
lpstat -p KPX7720MW 2>&1 | grep -q 'enabled' && ok "queue enabled" || fail "queue not enabled: $(lpstat -p KPX7720MW 2>&1)"

out=$("$tmp/postinst" configure 2>&1); status=$?
[ "$status" -eq 0 ] && [ -z "$out" ] && ok "postinst again: queue left as it is" \
  || fail "second postinst (exit $status): $out"
[ "$(lpstat -v 2>/dev/null | grep -c '^device for KPX7720MW:')" -eq 1 ] && ok "still one queue" \
  || fail "queues after the second postinst: $(lpstat -v 2>&1)"

# A job on the new queue goes out through CUPS's usb backend.
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont\n72 720 moveto (USB queue) show showpage\n' >"$tmp/usb.ps"
lp -d KPX7720MW "$tmp/usb.ps" >/dev/null 2>&1 || fail "lp refused the job"
if "$sim" ctl --socket "$tmp/sim/ctl.sock" wait-jobs 1 120 >"$tmp/wait" 2>&1; then
  jobs=$("$sim" ctl --socket "$tmp/sim/ctl.sock" jobs)
  for want in peer=usb ticket=yes end=trailer pclxl=ok pages=1 jobname=usb.ps; do
    echo "$jobs" | grep -qx "$want" && ok "USB job: $want" || fail "USB job lacks $want"
  done
  [ "$failures" -eq 0 ] || echo "$jobs" | sed 's/^/  /'
else
  fail "no job arrived over USB: $(cat "$tmp/wait")"
  lpstat -l -o 2>&1 | sed 's/^/  /'
  grep -E '\[Job [0-9]+\]' "$tmp/cups/log/error_log" | tail -15 | sed 's/^/  /'
fi

# ---- plug in later: the helper the udev rule's service runs
# A queue of that name printing elsewhere is the user's: left as it is.
lpadmin -x KPX7720MW
lpadmin -p KPX7720MW -E -v "socket://$tcp" -m KPX7720MW.ppd 2>/dev/null
out=$("$helper" --wait 5 2>&1); status=$?
[ "$status" -eq 0 ] && echo "$out" | grep -q "already exists for socket://$tcp; left as it is" \
  && lpstat -v KPX7720MW 2>&1 | grep -qxF "device for KPX7720MW: socket://$tcp" \
  && ok "foreign queue KPX7720MW left alone, with a note" || fail "foreign queue (exit $status): $out; $(lpstat -v 2>&1)"
lpadmin -x KPX7720MW

# CUPS down when the printer is plugged in: a short wait gives up, saying why.
bash "$src/scripts/private-cups.sh" stop "$tmp/cups"
out=$(timeout 60 "$helper" --wait 1 2>&1); status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 124 ] && echo "$out" | grep -q 'scheduler is not running' \
  && ok "CUPS down: helper gives up after its wait: $out" || fail "CUPS down: exit $status: $out"
# A burst of plug/unplug events, each starting the helper, while CUPS is
# still down; CUPS comes up afterwards: one queue, every run succeeds.
pids=()
for i in 1 2 3 4; do
  "$helper" --wait 120 >"$tmp/storm.$i" 2>&1 &
  pids+=($!)
  simctl unplug >/dev/null; simctl replug >/dev/null
done
start_cups --port "${CUPS_SERVER##*:}"
storm_ok=1
for pid in "${pids[@]}"; do wait "$pid" || storm_ok=0; done
added=$(cat "$tmp"/storm.* | grep -c "added the print queue KPX7720MW for $uri")
[ "$storm_ok" -eq 1 ] && [ "$added" -eq 1 ] && [ "$(lpstat -v 2>/dev/null | grep -c '^device for KPX7720MW:')" -eq 1 ] \
  && ok "plug-in burst with CUPS coming up late: queue added once" \
  || fail "plug-in burst: all ok=$storm_ok, added $added times: $(cat "$tmp"/storm.*)"
simctl unplug >/dev/null
"$helper" >/dev/null 2>&1
lpstat -v KPX7720MW 2>&1 | grep -qxF "device for KPX7720MW: $uri" && ok "unplugged: the queue stays" \
  || fail "queue after unplug: $(lpstat -v 2>&1)"
simctl replug >/dev/null

# ---- remove and reinstall
lpadmin -p KPX7720MW-net -E -v "socket://$tcp" -m KPX7720MW-net.ppd 2>/dev/null
# A job on a queue whose filter is gone (the package removed by a version
# that left the queue open): CUPS stops it.
filter=$tmp/cups/serverbin/filter/pstopxl_7720mw
mv "$filter" "$tmp/filter.saved"
lp -d KPX7720MW "$tmp/usb.ps" >/dev/null 2>&1
for _ in $(seq 1 100); do
  grep -q 'Stopping job because the scheduler could not execute a filter' "$tmp/cups/log/error_log" && break
  sleep 0.2
done
out=$("$tmp/prerm" remove 2>&1); status=$?
[ "$status" -eq 0 ] || fail "prerm remove exited $status: $out"
for queue in KPX7720MW KPX7720MW-net; do
  lpstat -a "$queue" 2>&1 | grep -q "not accepting.*" && lpstat -a "$queue" 2>&1 | grep -q 'driver package was removed' \
    && ! lp -d "$queue" "$tmp/usb.ps" >/dev/null 2>&1 \
    && ok "removed: $queue refuses jobs, saying why" || fail "removed: $queue: $(lpstat -a "$queue" 2>&1)"
done
mv "$tmp/filter.saved" "$filter"
out=$("$tmp/postinst" configure 2>&1); status=$?
[ "$status" -eq 0 ] || fail "postinst after reinstall exited $status: $out"
for queue in KPX7720MW KPX7720MW-net; do
  lpstat -a "$queue" 2>&1 | grep -q "^$queue accepting requests" && lpstat -p "$queue" 2>&1 | grep -q enabled \
    && ok "reinstalled: $queue accepts and is enabled" || fail "reinstalled: $queue: $(lpstat -a "$queue"; lpstat -p "$queue")"
done
simctl wait-jobs 2 120 >"$tmp/wait" 2>&1 && ok "the stopped job printed after reinstalling ($out)" \
  || fail "stopped job not printed: $(cat "$tmp/wait"); $out; $(lpstat -l -o 2>&1)"

# ---- login: a monitor starts only where its printer is set up. Stand-in
# monitors note that they ran.
launcher=$src/packaging/helpers/monitor-autostart
for m in KPX7720MW/usbmonitor KPX7720MW_net/netmonitor; do
  printf '#!/bin/sh\necho "${0##*/}" >>"%s"\n' "$tmp/started" >"$root/$m"
  chmod +x "$root/$m"
done
ipinfo=$root/KPX7720MW_net/config/netIpInfo
while read -r queues address which want; do   # queues present, netIpInfo, monitor, started?
  for q in KPX7720MW KPX7720MW-net; do
    case ",$queues," in
      *",$q,"*) lpstat -p "$q" >/dev/null 2>&1 || lpadmin -p "$q" -E -v "socket://$tcp" -m "$q.ppd" 2>/dev/null ;;
      *) lpadmin -x "$q" 2>/dev/null ;;
    esac
  done
  if [ "$address" = - ]; then : >"$ipinfo"; else printf '%s' "$address" >"$ipinfo"; fi
  rm -f "$tmp/started"
  note=$(ZUVA_PRINTERS_ROOT=$root timeout 30 "$launcher" "$which" 2>&1); status=$?
  got=no; [ -s "$tmp/started" ] && got=yes
  [ "$status" -eq 0 ] && [ "$got" = "$want" ] && ok "login with queues '$queues', address '$address': $which monitor started=$got ${note:+($note)}" \
    || fail "login with queues '$queues', address '$address': $which monitor started=$got (want $want), exit $status: $note"
done <<'TABLE'
none           -             usb no
none           -             net no
KPX7720MW      -             usb yes
KPX7720MW      192.168.1.10  net no
KPX7720MW-net  -             net no
KPX7720MW-net  192.168.1.10  net yes
KPX7720MW-net  192.168.1.10  usb no
TABLE
rm -f "$root/KPX7720MW/usbmonitor" "$root/KPX7720MW_net/netmonitor"

# ---- purge: the queues and what the package made, nothing else
for _ in $(seq 1 100); do [ -z "$(lpstat -o 2>/dev/null)" ] && break; sleep 0.2; done
out=$("$tmp/postrm" purge 2>&1); status=$?
[ "$status" -eq 0 ] || fail "postrm purge exited $status: $out"
lpstat -p KPX7720MW >/dev/null 2>&1 && fail "purge left the queue KPX7720MW" || ok "purge removed the queue"
[ ! -e "$opt/zuva" ] && [ "$(cat "$opt/othervendor/keep" 2>&1)" = "not ours" ] \
  && ok "purge removed /opt/zuva, kept /opt and another vendor's file" || fail "after purge: $(find "$opt" 2>&1 | tr '\n' ' ')"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package life-cycle checks passed"
