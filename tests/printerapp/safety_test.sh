#!/usr/bin/env bash
# Safe by default: the application listens on loopback only, its web pages
# have no password page, and changing a printer there needs a login (for
# anyone but root and lpadmin, whom the kernel names on loopback); the local
# socket still lets root add printers.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
command -v curl >/dev/null && command -v ss >/dev/null || { echo "curl/ss missing"; exit 77; }

dir=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
port=$(rig_free_port)
export SNAP_COMMON=$dir KPX_PRINTER_APP_RUNDIR=$dir/run
"$build/printerapp/kpx7720mw-printer-app" server -o server-port="$port" -o spool-directory="$dir/spool" \
  -o log-file="$dir/app.log" </dev/null >"$dir/out" 2>&1 &
pid=$!
# (restricted from the main loop: then it serves)
for _ in $(seq 1 100); do case $(stat -c %a "$dir/kpx7720mw-printer-app.sock" 2>/dev/null) in 770 | 700) break ;; esac; sleep 0.1; done
fail() { echo "FAIL: $*"; exit 1; }

"$build/printerapp/kpx7720mw-printer-app" add -d KPX7720MW -m kpx7720mw -v socket://127.0.0.1:9 >/dev/null ||
  fail "adding a printer over the local socket"
listening=$(ss -Hltnp | awk -v p=":$port" '$4 ~ p"$" {print $4}')
[ -n "$listening" ] || fail "not listening on $port"
if grep -Ev '^(127\.0\.0\.1|\[::1\]):' <<<"$listening"; then fail "listens beyond loopback: $listening"; fi
# As an ordinary user (nobody, when we are root).
anyone=()
[ "$(id -u)" = 0 ] && anyone=(runuser -u nobody --)
code() { "${anyone[@]}" curl -s -o /dev/null -w '%{http_code}' "http://localhost:$port$1"; }
[ "$(code /)" = 200 ] || fail "status page"
[ "$(code /KPX7720MW/config)" = 401 ] || fail "printer settings without a login: $(code /KPX7720MW/config)"
[ "$(code /security)" = 404 ] || fail "a web password page exists"
echo PASS
