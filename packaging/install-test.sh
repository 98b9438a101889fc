#!/usr/bin/env bash
# Install test: the .deb in a clean Debian root of the given release, then
# one print through the installed filters to a kpx7720mw-sim on this
# machine, and the package's removal, reinstallation and purge.
#
#   bash packaging/install-test.sh [RELEASE] [DEB]
#
# RELEASE is bookworm (Debian 12, the default) or trixie (Debian 13).
# Without DEB the package is built with packaging/build-deb.sh. Needs root,
# debootstrap and a build tree with the simulator (BUILD, default build/).
# The root is of the package's architecture: an arm64 package on an amd64
# machine is installed in an arm64 root whose programs (apt, cupsd, the
# filters, Ghostscript) run under qemu-user-static through binfmt_misc, so
# that must be set up first:
#   apt-get install qemu-user-static binfmt-support
#   mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc   (if not mounted)
#   update-binfmts --enable qemu-aarch64
# The minbase root is kept as a tarball in CACHE (default
# /tmp/kpx7720mw-install-cache) for the next run. KEEP=1 keeps the root and
# the simulator's directory. MIRROR overrides the Debian mirror (default: the
# first Debian URI in the host's apt sources). UPGRADE_FROM=OLD.deb installs
# that earlier package first and the tested one over it, as an upgrade.
# APP_DEB=kpx7720mw-printer-app_….deb installs the printer application too,
# at the end: it serves the simulator as its printer and prints one job.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
cache=${CACHE:-/tmp/kpx7720mw-install-cache}
sim=$build/sim/kpx7720mw-sim
simstart=$build/sim/kpx7720mw-sim-start.sh

die() { echo "install-test: $*" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || die "run as root (debootstrap, chroot)"
command -v debootstrap >/dev/null || die "debootstrap is not installed (bash scripts/setup.sh --install-test)"
[ -x "$sim" ] && [ -x "$simstart" ] || die "no simulator in $build/sim (build with KPX_BUILD_SIM=ON)"

release=bookworm
case ${1:-} in
  bookworm|trixie) release=$1; shift ;;
esac
deb=${1:-}
if [ -z "$deb" ]; then
  deb=$(bash "$here/packaging/build-deb.sh" | tail -1)
fi
[ -f "$deb" ] || die "no package at $deb"
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
old_deb=${UPGRADE_FROM:-}
app_deb=${APP_DEB:-}
[ -z "$app_deb" ] || [ -f "$app_deb" ] || die "no package at $app_deb"
if [ -n "$old_deb" ]; then
  [ -f "$old_deb" ] || die "no package at $old_deb"
  dpkg --compare-versions "$(dpkg-deb -f "$deb" Version)" gt "$(dpkg-deb -f "$old_deb" Version)" ||
    die "$deb is not newer than $old_deb: apt would not upgrade"
fi

arch=$(dpkg-deb -f "$deb" Architecture)
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  case $arch in
    arm64) emulator=qemu-aarch64 ;;
    *) die "no emulator known for $arch packages" ;;
  esac
  # F: the kernel holds the interpreter open, so it runs inside the chroot.
  grep -qx enabled "/proc/sys/fs/binfmt_misc/$emulator" 2>/dev/null &&
    grep -q '^flags: .*F' "/proc/sys/fs/binfmt_misc/$emulator" ||
    die "$arch programs cannot run here: register $emulator with binfmt_misc (see the head of this script)"
fi

mirror=${MIRROR:-}
if [ -z "$mirror" ]; then
  mirror=$( { cat /etc/apt/sources.list 2>/dev/null; cat /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null; } |
    grep -v '^[[:space:]]*#' | grep -oE 'https?://[^ ]+/debian/?' | grep -v -- '-security' | head -1) || true
  mirror=${mirror:-http://deb.debian.org/debian}
fi

passed=0
failed=0
check() { # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then echo "PASS: $name"; passed=$((passed + 1))
  else echo "FAIL: $name"; failed=$((failed + 1)); fi
}

work=$(mktemp -d /tmp/kpx7720mw-install.XXXXXX)
root=$work/root
simdir=$work/sim
cupsd_pid=""
mounted=()

# No client inside the root may reach a CUPS outside it: port 1 refuses.
noserver=127.0.0.1:1
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
              CUPS_SERVER="${CUPS_SERVER_IN_ROOT:-$noserver}" DEBIAN_FRONTEND=noninteractive "$@"; }

cleanup() {
  set +e
  if [ -n "$cupsd_pid" ]; then
    kill "$cupsd_pid" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$cupsd_pid" 2>/dev/null
  fi
  # Filters and backends still running in the root (started by our cupsd).
  if [ -d "$root" ]; then
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
  fi
  if [ -S "$simdir/ctl.sock" ]; then
    "$sim" ctl --socket "$simdir/ctl.sock" quit >/dev/null 2>&1
  fi
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
  done
  if [ "${KEEP:-0}" = 1 ]; then
    echo "kept: $work"
  else
    # Never remove a tree that still has something mounted below it.
    if ! grep -q " $work/" /proc/mounts; then rm -rf "$work"; fi
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# 1. A clean minbase root (from the cache when there is one).
tarball=$cache/$release-minbase-$arch.tar
mkdir -p "$root" "$cache"
if [ -f "$tarball" ]; then
  echo "root: from $tarball"
  tar -C "$root" -xpf "$tarball"
else
  echo "root: debootstrap --arch=$arch --variant=minbase $release from $mirror"
  debootstrap --arch="$arch" --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; die "debootstrap failed"; }
  in_root apt-get clean
  tar -C "$root" -cpf "$tarball.part" . && mv "$tarball.part" "$tarball"
fi

mount -t proc proc "$root/proc"; mounted+=("$root/proc")
mkdir -p "$root/dev/pts"
mount --bind /dev/pts "$root/dev/pts"; mounted+=("$root/dev/pts")
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# No service may start while packages are installed.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"

# Another vendor's software in /opt, which the package must never touch.
mkdir -p "$root/opt/othervendor"
echo "not ours" >"$root/opt/othervendor/keep"

# 2. The package with its dependencies (over the earlier one, when asked).
cp "$deb" "$root/tmp/"
debname=$(basename "$deb")
in_root apt-get update >"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log"; die "apt-get update failed"; }
if [ -n "$old_deb" ]; then
  cp "$old_deb" "$root/tmp/"
  echo "install: apt-get install -y ./$(basename "$old_deb")"
  in_root sh -c "cd /tmp && apt-get install -y ./$(basename "$old_deb")" >>"$work/apt.log" 2>&1 ||
    { tail -30 "$work/apt.log"; die "the earlier package did not install"; }
fi
echo "install: apt-get install -y ./$debname"
if in_root sh -c "cd /tmp && apt-get install -y ./$debname" >"$work/apt-install.log" 2>&1; then
  cat "$work/apt-install.log" >>"$work/apt.log"
  echo "PASS: apt-get install ./$debname"; passed=$((passed + 1))
else
  tail -30 "$work/apt-install.log"
  echo "FAIL: apt-get install ./$debname"; failed=$((failed + 1))
  echo "$passed passed, $failed failed"
  exit 1
fi
if [ -n "$old_deb" ]; then
  new_version=$(dpkg-deb -f "$deb" Version)
  # 1.0.0-1 owned the directories under /opt that preinst now makes: dpkg
  # says once that it leaves them (they hold the new files). Nothing else.
  check "upgrade from $(dpkg-deb -f "$old_deb" Version): no warnings but the /opt hand-over" \
    sh -c "grep -i warning '$work/apt-install.log' |
           grep -v \"unable to delete old directory '/opt[^']*': Directory not empty\" | { ! grep .; }"
  check "kpx7720mw $new_version is installed" \
    sh -c "[ \"\$(chroot '$root' dpkg-query -W -f '\${Version}' kpx7720mw)\" = '$new_version' ]"
fi

# 3. What the package put into the root (and brought with it).
# CUPS's text filter takes the font for Chinese from its UTF-8 charset file;
# fontconfig must find that very font, or the characters print as boxes.
cjk_font() {
  local font families
  font=$(awk '$1 == "3000" { print $5; exit }' "$root/usr/share/cups/charsets/pdf.utf-8" 2>/dev/null)
  [ -n "$font" ] || return 1
  # fontconfig compares family names without spaces and case.
  families=$(in_root fc-match -f '%{family}' "$font" 2>/dev/null | tr -d ' ' | tr '[:upper:]' '[:lower:]')
  font=$(echo "$font" | tr '[:upper:]' '[:lower:]')
  case ",$families," in *",$font,"*) return 0 ;; esac
  echo "  fontconfig gives '$families' for '$font'"
  return 1
}
check "the font CUPS's text filter names for Chinese is installed (Recommends)" cjk_font
filter_ok() { # root-owned, not group/world-writable, executable: cupsd runs nothing else
  local f=$root/usr/lib/cups/filter/$1
  [ -f "$f" ] && [ -x "$f" ] && [ "$(stat -c %u:%g "$f")" = 0:0 ] &&
    [ $(( 0$(stat -c %a "$f") & 022 )) -eq 0 ]
}
check "filter pstopxl_7720mw installed, root-owned, not group/world-writable" filter_ok pstopxl_7720mw
check "filter pstopxl_7720mw_net installed, root-owned, not group/world-writable" filter_ok pstopxl_7720mw_net
gs_ok() {
  local target
  target=$(in_root readlink -f /opt/zuva/Printers/KPX7720MW/kpx7720mw/bin/gs) &&
    [ -x "$root$target" ] &&
    in_root /opt/zuva/Printers/KPX7720MW/kpx7720mw/bin/gs --version 2>/dev/null | grep -qE '^[0-9]+\.[0-9]+'
}
check "kpx7720mw/bin/gs resolves to Ghostscript" gs_ok

# 4. A private cupsd inside the root, the network queue and one print.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
mkdir -p "$root/tmp/kpx-cups"
# shellcheck source=scripts/cupsd-conf.sh
. "$here/scripts/cupsd-conf.sh"
cupsd_conf "$port" >"$root/tmp/kpx-cups/cupsd.conf"
mkdir -p "$root/run/cups"
in_root /usr/sbin/cupsd -f -c /tmp/kpx-cups/cupsd.conf </dev/null >"$work/cupsd.out" 2>&1 &
cupsd_pid=$!
CUPS_SERVER_IN_ROOT=127.0.0.1:$port
for _ in $(seq 1 100); do
  in_root lpstat -r >/dev/null 2>&1 && break
  kill -0 "$cupsd_pid" 2>/dev/null || break
  sleep 0.1
done
cupsd_up() { in_root lpstat -r >/dev/null 2>&1; }
check "cupsd in the root answers on 127.0.0.1:$port" cupsd_up

in_root lpinfo -m >"$work/lpinfo-m" 2>&1 || true
check "lpinfo -m lists KPX7720MW.ppd" grep -qE '^KPX7720MW\.ppd ' "$work/lpinfo-m"
check "lpinfo -m lists KPX7720MW-net.ppd" grep -qE '^KPX7720MW-net\.ppd ' "$work/lpinfo-m"

"$simstart" "$simdir" --lock free >"$work/sim.ready"
simtcp=$(sed -n 's/^tcp=//p' "$work/sim.ready")
check "simulator listens on $simtcp" test -n "$simtcp"

check "lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd" \
  in_root lpadmin -p KPX7720MW-net -E -v "socket://$simtcp" -m KPX7720MW-net.ppd

cat >"$root/tmp/kpx-cups/test.ps" <<'PS'
%!PS-Adobe-3.0
%%Pages: 1
%%EndComments
%%Page: 1 1
/Helvetica findfont 24 scalefont setfont
72 720 moveto (KPX7720MW install test) show
72 700 moveto 400 0 rlineto stroke
showpage
%%EOF
PS
check "lp -d KPX7720MW-net test.ps" in_root lp -d KPX7720MW-net /tmp/kpx-cups/test.ps

if "$sim" ctl --socket "$simdir/ctl.sock" wait-jobs 1 120 >"$work/wait-jobs" 2>&1; then
  echo "PASS: the simulator received the job ($(cat "$work/wait-jobs"))"; passed=$((passed + 1))
else
  echo "FAIL: no job reached the simulator ($(cat "$work/wait-jobs"))"; failed=$((failed + 1))
  in_root lpstat -l -o -p KPX7720MW-net 2>&1 | sed 's/^/  /'
  grep -E '\[Job [0-9]+\] .*(rror|Filter|failed)' "$root/var/log/cups/error_log" 2>/dev/null | tail -15 | sed 's/^/  /'
fi
"$sim" ctl --socket "$simdir/ctl.sock" jobs >"$work/jobs" 2>&1 || true
check "job summary: end=trailer" grep -qx 'end=trailer' "$work/jobs"
check "job summary: pclxl=ok" grep -qx 'pclxl=ok' "$work/jobs"
check "job summary: pages=1" grep -qx 'pages=1' "$work/jobs"
if [ "$failed" -gt 0 ]; then
  echo "job summary:"; sed 's/^/  /' "$work/jobs"
fi

# The README's offline check: the USB queue's filter run by cupsfilter alone.
offline_stream() {
  in_root cupsfilter -e -m printer/foo -p /usr/share/cups/model/KPX7720MW.ppd /tmp/kpx-cups/test.ps \
    >"$work/offline.pxl" 2>"$work/offline.err" &&
    grep -aq 'HP-PCL XL' "$work/offline.pxl" && grep -aq '@PJL EOJ' "$work/offline.pxl"
}
check "cupsfilter -e without a printer gives the printer's stream (PCL XL, end of job)" offline_stream

# 5. The records the filter wrote as CUPS's filter user, readable by the
# desktop user's monitor.
for _ in $(seq 1 300); do
  [ -z "$(in_root lpstat -o KPX7720MW-net 2>/dev/null)" ] && break
  sleep 0.2
done
net=$root/opt/zuva/Printers/KPX7720MW_net
readable_record() { # owned by lp, readable by everyone, not empty
  [ -s "$1" ] && [ "$(stat -c %U "$1")" = lp ] && [ $(( 0$(stat -c %a "$1") & 044 )) -eq $(( 044 )) ]
}
check "config/printerInfo written by the filter as lp, readable by all" readable_record "$net/config/printerInfo"
check "print_log has the job's block, readable by all" readable_record "$net/print_log"
check "the job's title is in print_log" grep -q 'test.ps' "$net/print_log"
cp "$net/print_log" "$work/print_log.saved"
cp "$net/config/printerInfo" "$work/printerInfo.saved"

# 6. Removal keeps the records and holds the queue with a reason; installing
# again keeps the records and takes the queue back; a purge deletes records,
# queue and the package's directories, and nothing else. dpkg warns about
# nothing on the way.
no_warning() { ! grep -i 'warning' "$1"; }
in_root apt-get remove -y kpx7720mw >"$work/apt-remove.log" 2>&1
check "apt-get remove: no warnings" no_warning "$work/apt-remove.log"
check "apt-get remove takes the filters away" test ! -e "$root/usr/lib/cups/filter/pstopxl_7720mw_net"
check "apt-get remove keeps print_log" cmp -s "$work/print_log.saved" "$net/print_log"
check "apt-get remove keeps config/printerInfo" cmp -s "$work/printerInfo.saved" "$net/config/printerInfo"
held_with_reason() { in_root lpstat -a KPX7720MW-net 2>&1 | grep -q 'driver package was removed'; }
check "after remove KPX7720MW-net rejects jobs, saying why" held_with_reason
check "after remove lp is refused" sh -c "! chroot '$root' env CUPS_SERVER=$CUPS_SERVER_IN_ROOT lp -d KPX7720MW-net /tmp/kpx-cups/test.ps >/dev/null 2>&1"
check "apt-get install again" in_root sh -c "cd /tmp && apt-get install -y ./$debname >>/tmp/apt-again.log 2>&1"
check "reinstall keeps print_log (content and owner)" \
  sh -c "cmp -s '$work/print_log.saved' '$net/print_log' && [ \"\$(stat -c %U '$net/print_log')\" = lp ]"
check "reinstall keeps config/printerInfo" cmp -s "$work/printerInfo.saved" "$net/config/printerInfo"
accepting() { in_root lpstat -a KPX7720MW-net 2>&1 | grep -q 'accepting requests' && in_root lpstat -p KPX7720MW-net 2>&1 | grep -q enabled; }
check "after reinstall KPX7720MW-net accepts and prints again" accepting
check "lp -d KPX7720MW-net after reinstall" in_root lp -d KPX7720MW-net /tmp/kpx-cups/test.ps
check "the second job reached the simulator" "$sim" ctl --socket "$simdir/ctl.sock" wait-jobs 2 120
for _ in $(seq 1 300); do
  [ -z "$(in_root lpstat -o KPX7720MW-net 2>/dev/null)" ] && break
  sleep 0.2
done
in_root apt-get purge -y kpx7720mw >"$work/apt-purge.log" 2>&1
check "apt-get purge: no warnings" no_warning "$work/apt-purge.log"
check "apt-get purge removes the records" test ! -e "$net/print_log" -a ! -e "$net/config"
check "apt-get purge removes the install tree" test ! -e "$root/opt/zuva"
check "apt-get purge leaves /opt and another vendor's file in it" \
  sh -c "[ -d '$root/opt' ] && [ \"\$(cat '$root/opt/othervendor/keep')\" = 'not ours' ]"
queue_gone() { ! in_root lpstat -p KPX7720MW-net >/dev/null 2>&1; }
check "apt-get purge removes the queue KPX7720MW-net" queue_gone
cat "$work/apt-remove.log" "$work/apt-purge.log" >>"$work/apt.log"

# 7. The printer application, started as its service would start it, with
# the simulator as its printer on the network.
if [ -n "$app_deb" ]; then
  cp "$app_deb" "$root/tmp/"
  check "apt-get install ./$(basename "$app_deb")" \
    in_root sh -c "cd /tmp && apt-get install -y ./$(basename "$app_deb") >/tmp/apt-app.log 2>&1"
  app=/usr/sbin/kpx7720mw-printer-app
  state=/var/lib/kpx7720mw-printer-app
  appport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
  mkdir -p "$root$state" "$root/run/kpx7720mw-printer-app"
  in_root "$app" server -o log-file=/tmp/app.log -o log-level=info -o "spool-directory=$state/spool" \
    -o "state-file=$state/state" -o "server-port=$appport" </dev/null >"$work/app.out" 2>&1 &
  app_pid=$!
  for _ in $(seq 1 100); do
    in_root "$app" printers >/dev/null 2>&1 && break
    sleep 0.1
  done
  check "the printer application runs and answers" sh -c "kill -0 $app_pid && chroot '$root' $app printers >/dev/null"
  check "its local socket is open to root and lpadmin only (0770 root:lpadmin)" \
    sh -c "[ \"\$(stat -c '%a %U:%G' '$root/run/kpx7720mw-printer-app/admin/kpx7720mw-printer-app.sock')\" = '770 root:lpadmin' ]"
  check "it adds the printer KPX7720MW on socket://$simtcp" \
    in_root "$app" add -d KPX7720MW -m kpx7720mw -v "socket://$simtcp"
  check "it takes test.ps" in_root "$app" submit -d KPX7720MW /tmp/kpx-cups/test.ps
  check "its job reached the simulator" "$sim" ctl --socket "$simdir/ctl.sock" wait-jobs 3 120
  "$sim" ctl --socket "$simdir/ctl.sock" jobs | awk '/^job=/ { n = $0 } n == "job=3"' >"$work/app-job"
  check "its job: ticket, PCL XL, one page, trailer" \
    sh -c "grep -qx ticket=yes '$work/app-job' && grep -qx pclxl=ok '$work/app-job' &&
           grep -qx pages=1 '$work/app-job' && grep -qx end=trailer '$work/app-job'"
  [ "$failed" -eq 0 ] || { echo "application log:"; tail -20 "$root/tmp/app.log" | sed 's/^/  /'; }
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
