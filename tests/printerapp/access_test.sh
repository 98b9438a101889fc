#!/usr/bin/env bash
# Who may do what, with the application as installed (logins checked with
# PAM, administrators: root and group lpadmin). An ordinary local user can
# print and cancel their own job over loopback without a login, but cannot
# reach the local socket, administer the printer or the system over IPP
# (whatever requesting-user-name claims), touch someone else's job, or
# change the printer through a web form; a user in lpadmin only as a
# supplementary group and root can administer; a login that fails or is
# not an administrator's is refused.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_rig.sh"
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root (useradd, runuser)"; exit 77; }
command -v ipptool >/dev/null && command -v curl >/dev/null || { echo "SKIP: ipptool/curl missing"; exit 77; }

dir=$(mktemp -d)
suffix=$$$RANDOM
user=kpxu$suffix admin=kpxa$suffix made_group=
cleanup() {
  rig_stop "$dir"
  userdel -r "$user" >/dev/null 2>&1 || true
  userdel -r "$admin" >/dev/null 2>&1 || true
  [ -z "$made_group" ] || groupdel lpadmin
  rm -rf "$dir"
}
trap cleanup EXIT
getent group lpadmin >/dev/null || { groupadd -r lpadmin; made_group=1; }
useradd -M "$user"
useradd -M -G lpadmin "$admin"
echo "$user:u-$suffix" | chpasswd
echo "$admin:a-$suffix" | chpasswd
chmod 0755 "$dir"  # only the socket's own mode stands in the way
rig_start "$dir" "$build"
app=$build/printerapp/kpx7720mw-printer-app
sock=$dir/kpx7720mw-printer-app.sock
as() { local who=$1; shift; timeout 60 runuser -u "$who" -- "$@" </dev/null; }
fails=0
fail() { echo "FAIL: $*"; fails=1; }
rig_make_pdf "$dir/doc.pdf" 1
chmod -R a+rX "$dir/doc.pdf"

# The local socket: root and lpadmin only, and nothing gets through it.
[ "$(stat -c '%a %U %G' "$sock")" = "770 root lpadmin" ] || fail "socket is $(stat -c '%a %U %G' "$sock")"
probe=$(as "$user" /usr/bin/python3 -c 'import socket, sys
try:
    socket.socket(socket.AF_UNIX).connect(sys.argv[1]); print("connected")
except PermissionError:
    print("refused")' "$sock" 2>&1) || true
[ "$probe" = refused ] || fail "an ordinary user's connect to the local socket: $probe"
# (the program from where the user can run it, under its own name)
mkdir -p "$dir/bin" && cp "$app" "$dir/bin/" && chmod -R a+rX "$dir/bin"
as "$user" "$dir/bin/kpx7720mw-printer-app" shutdown >/dev/null 2>&1 && fail "an ordinary user shut the server down"
kill -0 "$(cat "$dir/app.pid")" || { echo "FAIL: the server is gone"; exit 1; }
"$app" status >/dev/null || fail "root cannot use the local socket"

# IPP requests (OP TARGET-URI EXTRA-ATTRIBUTE), as WHO claiming NAME; true
# when the server did it.
printer_id=$(ipptool -tv "$APP_URI" /usr/share/cups/ipptool/get-printer-attributes.test | sed -n 's/^ *printer-id (integer) = //p')
system_uri=ipp://localhost:$APP_PORT/ipp/system
request() {  # WHO NAME OP URI-ATTR URI [ATTR-LINE]
  rig_op "$3" "ATTR uri $4 $5" "${6:-}" >"$dir/req.test"
  chmod a+r "$dir/req.test"
  as "$1" ipptool -t -d user="$2" "$5" "$dir/req.test" >"$dir/req.out" 2>&1
}
# ... refused for want of a login (401) or the right one (403)
refuse() {  # WHO NAME OP URI-ATTR URI [ATTR-LINE]
  if request "$@"; then fail "$1 (claiming $2) may $3 ${6:-}"; return; fi
  grep -q 'client-error-not-authenticated\|client-error-forbidden' "$dir/req.out" ||
    fail "$1 (claiming $2), $3: $(grep -m1 'status-code\|rror' "$dir/req.out")"
}
state() { ipptool -tv "$APP_URI" /usr/share/cups/ipptool/get-printer-attributes.test | sed -n "s/^ *$1 ([^)]*) = //p"; }

refused=(
  "Pause-Printer printer-uri $APP_URI"
  "Set-Printer-Attributes printer-uri $APP_URI GROUP printer-attributes-tag ATTR text printer-location taken"
  "Delete-Printer system-uri $system_uri ATTR integer printer-id $printer_id"
  "Shutdown-All-Printers system-uri $system_uri"
)
for claim in "$user" root; do
  for r in "${refused[@]}"; do
    read -r op attr uri extra <<<"$r"
    refuse "$user" "$claim" "$op" "$attr" "$uri" "$extra"
  done
done
[ "$(state printer-state)" = idle ] || fail "printer-state is $(state printer-state) after the refused requests"
[ "$(state printer-location)" != taken ] || fail "printer-location was changed"

# Printing needs no login; a job's own operations are its owner's.
RIG_CLIENT=(runuser -u "$user" --)
got=$(rig_print "$dir/doc.pdf" application/pdf user="$user" name=users-job)
[[ "$got" == completed* ]] || fail "an ordinary user's Print-Job: $got"
rig_wait_jobs 1 60
grep -q '^jobname=users-job$' "$dir"/sim/jobs/job-0001.txt || fail "the user's job did not reach the printer"
RIG_CLIENT=()
rig_op Print-Job 'ATTR mimeMediaType document-format application/pdf' 'GROUP job-attributes-tag' \
  'ATTR keyword job-hold-until indefinite' 'FILE $filename' >"$dir/held.test"
rig_op Get-Job-Attributes 'ATTR integer job-id $job' >"$dir/state.test"
chmod a+r "$dir/held.test" "$dir/state.test"
held() { as "$1" ipptool -tv -f "$dir/doc.pdf" "$APP_URI" "$dir/held.test" | sed -n 's/^ *job-id (integer) = //p'; }
job_state() { ipptool -tv -d job="$1" "$APP_URI" "$dir/state.test" | sed -n 's/^ *job-state (enum) = //p'; }
roots=$(held root)
for claim in "$user" root; do
  for op in Cancel-Job Release-Job; do
    refuse "$user" "$claim" "$op" printer-uri "$APP_URI" "ATTR integer job-id $roots"
  done
done
[ "$(job_state "$roots")" = pending-held ] || fail "root's held job is $(job_state "$roots")"
own=$(held "$user")
request "$user" "$user" Cancel-Job printer-uri "$APP_URI" "ATTR integer job-id $own" || { fail "a user cannot cancel their own job"; cat "$dir/req.out"; }
[ "$(job_state "$own")" = canceled ] || fail "the user's own job is $(job_state "$own") after Cancel-Job"
request root root Cancel-Job printer-uri "$APP_URI" "ATTR integer job-id $roots" || fail "root cannot cancel its job"

# A web form is no way around that, with the page's own token.
page=$(as "$user" curl -s "http://localhost:$APP_PORT/KPX7720MW")
token=$(sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' <<<"$page" | head -1)
[ -n "$token" ] || fail "no form token on the printer's page"
as "$user" curl -s -o /dev/null -d "session=$token&action=pause-printer" "http://localhost:$APP_PORT/KPX7720MW" || true
sleep 1
[ "$(state printer-state)" = idle ] || fail "an anonymous web form paused the printer"

# Administrators: lpadmin as a supplementary group, and root.
for who in "$admin" root; do
  request "$who" "$who" Pause-Printer printer-uri "$APP_URI" || { fail "$who cannot pause the printer"; cat "$dir/req.out"; }
  [ "$(state printer-state)" = stopped ] || fail "$who paused, the printer is $(state printer-state)"
  request "$who" "$who" Resume-Printer printer-uri "$APP_URI" || fail "$who cannot resume the printer"
  [ "$(state printer-state)" = idle ] || fail "$who resumed, the printer is $(state printer-state)"
done

# Logins (HTTP Basic, PAM): a wrong password 401, an ordinary user 403, an
# administrator through. (Asked by the ordinary user, whom the kernel's
# word alone does not let in.)
config=http://localhost:$APP_PORT/KPX7720MW/config
while read -r login want; do
  got=$(as "$user" curl -s -o /dev/null -w '%{http_code}' -u "$login" "$config")
  [ "$got" = "$want" ] || fail "settings page with login ${login%%:*}: HTTP $got, expected $want"
done <<L
$admin:wrong 401
$user:u-$suffix 403
$admin:a-$suffix 200
L
[ "$fails" -eq 0 ] && echo PASS
exit "$fails"
