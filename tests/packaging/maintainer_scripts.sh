#!/usr/bin/env bash
# Runs the package's maintainer scripts (from a control directory, as
# dpkg-deb -e leaves it) against a temporary install root, with stand-ins for
# the CUPS tools, udevadm, chown and chgrp that log their calls, and the
# package's own helpers from its unpacked tree.
#
#   maintainer_scripts.sh CONTROL_DIR PACKAGE_ROOT
set -uo pipefail
control=$1
helpers=$2/usr/libexec/kpx7720mw
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

root=$tmp/opt/zuva/Printers
for s in preinst postinst prerm postrm; do
  sed -e "s#^ROOT=\"/opt/zuva/Printers\"\$#ROOT=\"$root\"#" \
      -e "s#^LIBEXEC=\"/usr/libexec/kpx7720mw\"\$#LIBEXEC=\"$helpers\"#" "$control/$s" >"$tmp/$s"
  chmod +x "$tmp/$s"
done

# Stand-ins. STUB_CUPS=down: the scheduler is not running; STUB_QUEUES: the
# queues that exist; STUB_DEVICES: what lpinfo -v prints.
bin=$tmp/bin
mkdir -p "$bin"
log=$tmp/calls
cat >"$bin/lpstat" <<'S'
#!/bin/sh
echo "lpstat $*" >>"$STUB_LOG"
[ "$1" = -r ] && { [ "$STUB_CUPS" = down ] && echo "scheduler is not running" || echo "scheduler is running"; exit 0; }
[ "$STUB_CUPS" = down ] && { echo "lpstat: Scheduler is not running." >&2; exit 1; }
for q in $STUB_QUEUES; do
  [ "$q" = "$2" ] || continue
  case $1 in
    -p) echo "printer $q is idle." ;;
    -v) echo "device for $q: usb://Zuva/KPX7720MW" ;;
    -a) echo "$q accepting requests since today" ;;
  esac
  exit 0
done
exit 1
S
cat >"$bin/lpinfo" <<'S'
#!/bin/sh
echo "lpinfo $*" >>"$STUB_LOG"
[ "$STUB_CUPS" = down ] && { echo "lpinfo: Scheduler is not running." >&2; exit 1; }
printf '%b' "$STUB_DEVICES"
S
for t in lpadmin cupsreject cupsdisable cupsaccept cupsenable udevadm chown chgrp; do
  printf '#!/bin/sh\necho "%s $*" >>"$STUB_LOG"\n' "$t" >"$bin/$t"
done
chmod +x "$bin"/*
export PATH="$bin:$PATH" STUB_LOG="$log"

run() {  # script args... ; output in $tmp/out, status in $status
  : >"$log"
  "$tmp/$1" "${@:2}" >"$tmp/out" 2>&1
  status=$?
}

# 1. First install, CUPS not running.
run preinst install
[ "$status" -eq 0 ] && [ -d "$root/KPX7720MW" ] && [ -d "$root/KPX7720MW_net" ] && ok "preinst makes the program directories" \
  || fail "preinst (status $status) did not make the program directories: $(cat "$tmp/out")"
mkdir -p "$root/KPX7720MW/kpx7720mw/bin"
STUB_CUPS=down STUB_QUEUES="" STUB_DEVICES="" run postinst configure
[ "$status" -eq 0 ] && ok "postinst succeeds with CUPS down" || fail "postinst failed with CUPS down: $(cat "$tmp/out")"
for d in KPX7720MW/config KPX7720MW_net/config; do
  [ -d "$root/$d" ] && grep -qx "chown lp:lp $root/$d" "$log" && ok "$d made and given to lp" || fail "$d not made or not given to lp"
done
for f in KPX7720MW/print_log KPX7720MW_net/print_log; do
  [ -f "$root/$f" ] && [ "$(stat -c %a "$root/$f")" = 644 ] && grep -qx "chown lp:lp $root/$f" "$log" \
    && ok "$f made, 0644, for lp" || fail "$f not made 0644 for lp"
done
[ "$(stat -c %a "$root/KPX7720MW_net/config/netIpInfo" 2>/dev/null)" = 664 ] && ok "netIpInfo made 0664" || fail "netIpInfo not made 0664"
grep -q "^chown .* $root/KPX7720MW\$" "$log" && fail "the program directory was handed away"
grep -q '^lpadmin' "$log" && fail "lpadmin run although CUPS is down"
[ "$(grep -c 'lpadmin -p KPX7720MW' "$tmp/out")" -eq 1 ] && ok "prints the one-line command" || fail "no hint printed: $(cat "$tmp/out")"

# 2. Upgrade: records and logs stay as they are.
printf 'block 1\n' >"$root/KPX7720MW/print_log"
printf 'resolution:600dpi;\n' >"$root/KPX7720MW/config/printerInfo"
printf '192.168.1.10' >"$root/KPX7720MW_net/config/netIpInfo"
chmod 0600 "$root/KPX7720MW/print_log"
STUB_CUPS=down run postinst configure 1.0.0-1
[ "$status" -eq 0 ] && ok "postinst runs again" || fail "second postinst failed"
[ "$(cat "$root/KPX7720MW/print_log")" = "block 1" ] && [ "$(cat "$root/KPX7720MW/config/printerInfo")" = "resolution:600dpi;" ] \
  && [ "$(cat "$root/KPX7720MW_net/config/netIpInfo")" = "192.168.1.10" ] && ok "records kept on a second configure" \
  || fail "records changed by a second configure"
[ "$(stat -c %a "$root/KPX7720MW/print_log")" = 600 ] && ok "an existing log's mode is left alone" || fail "existing log mode changed"

# 3. The printer on USB, no queue yet: the queue is made for its URI.
uri='usb://Zuva/KPX7720MW?serial=A1B2C3'
STUB_CUPS=up STUB_QUEUES="" STUB_DEVICES="network socket\ndirect usb://HP/LaserJet%20P1102\ndirect $uri\nnetwork ipp\n" run postinst configure
[ "$status" -eq 0 ] || fail "postinst failed with the printer present"
grep -qxF "lpadmin -p KPX7720MW -E -m KPX7720MW.ppd -v $uri" "$log" && ok "USB queue added for $uri" \
  || fail "USB queue not added; calls: $(tr '\n' ';' <"$log")"

# 4. The queue exists already: left alone.
STUB_CUPS=up STUB_QUEUES="KPX7720MW" STUB_DEVICES="direct $uri\n" run postinst configure
grep -q '^lpadmin' "$log" && fail "lpadmin run although the queue exists" || ok "existing queue left alone"

# 5. Another make's printer only: no queue, the hint.
STUB_CUPS=up STUB_QUEUES="" STUB_DEVICES="direct usb://HP/LaserJet%20P1102\n" run postinst configure
grep -q '^lpadmin' "$log" && fail "queue added for another printer" || ok "no queue for another printer"
grep -q 'lpadmin -p KPX7720MW' "$tmp/out" && ok "hint printed without the printer" || fail "no hint without the printer"

# 6. Remove and upgrade keep everything; purge deletes records and queues.
for args in remove upgrade; do
  STUB_CUPS=up STUB_QUEUES="KPX7720MW KPX7720MW-net" run postrm $args
  [ "$status" -eq 0 ] && [ -f "$root/KPX7720MW/print_log" ] && [ -f "$root/KPX7720MW/config/printerInfo" ] \
    && [ -f "$root/KPX7720MW_net/config/netIpInfo" ] && ! grep -q '^lpadmin' "$log" \
    && ok "postrm $args keeps records and queues" || fail "postrm $args lost something (status $status)"
done
STUB_CUPS=up STUB_QUEUES="KPX7720MW KPX7720MW-net" run postrm purge
[ "$status" -eq 0 ] || fail "postrm purge failed: $(cat "$tmp/out")"
[ ! -e "$root/KPX7720MW/config" ] && [ ! -e "$root/KPX7720MW_net/config" ] && [ ! -e "$root/KPX7720MW/print_log" ] \
  && [ ! -e "$root/KPX7720MW_net/print_log" ] && ok "purge deletes records and logs" || fail "purge left records behind"
grep -qx 'lpadmin -x KPX7720MW' "$log" && grep -qx 'lpadmin -x KPX7720MW-net' "$log" && ok "purge deletes both queues" \
  || fail "purge did not delete the queues"
[ ! -e "$tmp/opt/zuva" ] && ok "purge removes the emptied tree" || fail "purge left $(find "$tmp/opt" | tr '\n' ' ')"
STUB_CUPS=down run postrm purge
[ "$status" -eq 0 ] && ok "a second purge with CUPS down succeeds" || fail "second purge failed"

# 7. Faults: something of the user's where a record directory belongs (as a
# read-only or full /opt would refuse it) is reported and left as it is, and
# the install still succeeds; a removal with CUPS down does not fail either.
mkdir -p "$root/KPX7720MW"
echo "mine" >"$root/KPX7720MW/config"
STUB_CUPS=down run postinst configure
[ "$status" -eq 0 ] && [ "$(cat "$root/KPX7720MW/config")" = mine ] && ok "a blocked record directory: install goes on, user's file kept" \
  || fail "blocked record directory: status $status, file now: $(cat "$root/KPX7720MW/config" 2>&1)"
grep -q "mkdir -p $root/KPX7720MW/config failed: .*File exists" "$tmp/out" && ok "and says why" || fail "no reason given: $(cat "$tmp/out")"
STUB_CUPS=down run prerm remove
[ "$status" -eq 0 ] && grep -q 'CUPS is not running' "$tmp/out" && ok "prerm remove with CUPS down: succeeds, says so" \
  || fail "prerm remove with CUPS down: status $status: $(cat "$tmp/out")"

# 8. Unknown actions are refused.
run postinst bogus
[ "$status" -ne 0 ] && ok "postinst refuses an unknown action" || fail "postinst accepted 'bogus'"

[ "$failures" -eq 0 ] || { echo "$failures maintainer-script check(s) failed"; exit 1; }
