#!/usr/bin/env bash
# A private CUPS scheduler for tests, benchmarks and the demo: its own
# configuration, spool, logs and port on 127.0.0.1, the project's filters
# from a build tree, and the two queues "KPX7720MW" and "KPX7720MW-net"
# printing to a (simulated) printer through socket://. Works as root
# (filters then run as lp) and as a normal user.
#
#   private-cups.sh start DIR --build BUILD --printer HOST:PORT [--port N] [--no-queues]
#                             [--usb-dir UMOCKDEV_DIR] [--models]
#   private-cups.sh stop DIR
#   private-cups.sh env DIR          # prints CUPS_SERVER=... for clients
#
# Everything lives in DIR: DIR/root is the install root handed to the
# filters as ZUVA_PRINTERS_ROOT, DIR/log the scheduler's logs.
#
# --usb-dir runs the scheduler under umockdev's preload library with that
# testbed, so that CUPS's usb backend (and lpinfo -v) sees the simulator's
# emulated USB printer; the usb backend runs only as root. --models gives
# the scheduler a data directory whose model/ holds the project's PPDs, as
# the package installs them, so that "lpadmin -m KPX7720MW.ppd" finds them.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "private-cups: $*" >&2; exit 1; }

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

cmd=${1:-}
[ -n "$cmd" ] || die "usage: $0 start|stop|env DIR ..."
shift
dir=${1:-}
[ -n "$dir" ] || die "no directory given"
shift
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

case "$cmd" in
stop)
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
  # Filters and backends of jobs still running belong to us too.
  pkill -f -- "$dir/" 2>/dev/null || true
  exit 0
  ;;
env)
  echo "CUPS_SERVER=127.0.0.1:$(cat "$dir/port")"
  exit 0
  ;;
start) ;;
*) die "unknown command $cmd" ;;
esac

build=""
printer=""
port=""
queues=1
usbdir=""
models=0
while [ $# -gt 0 ]; do
  case "$1" in
  --build) build=$2; shift 2 ;;
  --printer) printer=$2; shift 2 ;;
  --port) port=$2; shift 2 ;;
  --no-queues) queues=0; shift ;;
  --usb-dir) usbdir=$2; shift 2 ;;
  --models) models=1; shift ;;
  *) die "unknown option $1" ;;
  esac
done
[ -n "$build" ] || die "--build BUILD is needed"
build=$(cd "$build" && pwd)
[ -x "$build/filter/pstopxl_7720mw" ] || die "no filters in $build (build first)"
[ -n "$printer" ] || die "--printer HOST:PORT is needed"
[ -n "$port" ] || port=$(free_port)

cupsd=/usr/sbin/cupsd
[ -x "$cupsd" ] || die "cupsd is not installed (Debian package cups-daemon)"

if [ "$(id -u)" -eq 0 ]; then
  user=lp; group=lp; sysgroup=root
else
  user=$(id -un); group=$(id -gn); sysgroup=$group
fi

mkdir -p "$dir"/{conf,spool,spool/tmp,log,run,cache,state,serverbin/filter,root}
chmod 0755 "$dir" "$dir/serverbin" "$dir/serverbin/filter"
rm -rf "$dir/serverbin/backend"
for sub in backend daemon cgi-bin monitor notifier driver; do
  ln -sfn "/usr/lib/cups/$sub" "$dir/serverbin/$sub"
done
if [ -n "$usbdir" ]; then
  # cupsd hands no LD_PRELOAD to its children, so the usb backend gets the
  # umockdev preload from a wrapper (root's, 0700, as CUPS wants it).
  rm "$dir/serverbin/backend"
  mkdir -p "$dir/serverbin/backend"
  for f in /usr/lib/cups/backend/*; do
    ln -sfn "$f" "$dir/serverbin/backend/$(basename "$f")"
  done
  rm "$dir/serverbin/backend/usb"
  printf '#!/bin/sh
exec env LD_PRELOAD=libumockdev-preload.so.0 /usr/lib/cups/backend/usb "$@"
' \
    >"$dir/serverbin/backend/usb"
  chmod 0700 "$dir/serverbin/backend/usb"
fi
for f in /usr/lib/cups/filter/*; do
  ln -sfn "$f" "$dir/serverbin/filter/$(basename "$f")"
done
# Copies, not links: the build tree may sit where the filter user (lp, when
# we are root) cannot reach it, and cupsd wants root-owned filters then.
for f in pstopxl_7720mw pstopxl_7720mw_net; do
  rm -f "$dir/serverbin/filter/$f"
  install -m 0755 "$build/filter/$f" "$dir/serverbin/filter/$f"
done

# The install tree the filters write their records to.
root="$dir/root"
mkdir -p "$root/KPX7720MW/config" "$root/KPX7720MW/kpx7720mw/bin" "$root/KPX7720MW_net/config"
ln -sfn /usr/bin/gs "$root/KPX7720MW/kpx7720mw/bin/gs"
if [ "$(id -u)" -eq 0 ]; then
  chown "$user:$group" "$root/KPX7720MW" "$root/KPX7720MW/config" "$root/KPX7720MW_net" "$root/KPX7720MW_net/config"
fi
chmod 0755 "$root" "$root/KPX7720MW" "$root/KPX7720MW_net"

# CUPS's data files, with the project's PPDs among the models.
datadir=/usr/share/cups
if [ "$models" -eq 1 ]; then
  datadir=$dir/data
  mkdir -p "$datadir/model"
  for f in /usr/share/cups/*; do
    [ "$(basename "$f")" = model ] || ln -sfn "$f" "$datadir/$(basename "$f")"
  done
  for f in /usr/share/cups/model/*; do
    [ -e "$f" ] && ln -sfn "$f" "$datadir/model/$(basename "$f")"
  done
  install -m 0644 "$here/ppd/KPX7720MW.ppd" "$here/ppd/KPX7720MW-net.ppd" "$datadir/model/"
  chmod 0755 "$datadir" "$datadir/model"
fi

cat >"$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
StateDir $dir/state
CacheDir $dir/cache
ServerBin $dir/serverbin
DataDir $datadir
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/run/printcap
User $user
Group $group
SystemGroup $sysgroup
LogFileGroup $group
FileDevice Yes
SetEnv ZUVA_PRINTERS_ROOT $root
CONF
if [ -n "$usbdir" ]; then
  echo "SetEnv UMOCKDEV_DIR $usbdir" >>"$dir/conf/cups-files.conf"
fi

# shellcheck source=scripts/cupsd-conf.sh
. "$here/scripts/cupsd-conf.sh"
cupsd_conf "$port" >"$dir/conf/cupsd.conf"
echo "$port" >"$dir/port"

"$cupsd" -t -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" >"$dir/log/config-check" 2>&1 ||
  die "configuration rejected: $(cat "$dir/log/config-check")"
nohup "$cupsd" -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" </dev/null >"$dir/log/cupsd.out" 2>&1 &
echo $! >"$dir/cupsd.pid"

export CUPS_SERVER=127.0.0.1:$port
for _ in $(seq 1 100); do
  lpstat -r >/dev/null 2>&1 && break
  kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null || die "cupsd exited: $(tail -5 "$dir/log/error_log" 2>/dev/null)"
  sleep 0.1
done
lpstat -r >/dev/null 2>&1 || die "cupsd does not answer on port $port"

if [ "$queues" -eq 1 ]; then
  # lpadmin lives in /usr/sbin, which a normal user's PATH may lack.
  /usr/sbin/lpadmin -p KPX7720MW -E -v "socket://$printer" -P "$here/ppd/KPX7720MW.ppd"
  /usr/sbin/lpadmin -p KPX7720MW-net -E -v "socket://$printer" -P "$here/ppd/KPX7720MW-net.ppd"
fi
echo "CUPS_SERVER=$CUPS_SERVER"
echo "ZUVA_PRINTERS_ROOT=$root"
