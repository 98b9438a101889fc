# Shared by the printer application's tests and benchmark (source it):
# the simulator, the application on a free loopback port with everything in
# one directory, and its printer "KPX7720MW" on the simulator's print port.
#
#   rig_start DIR BUILD     starts both; sets SIM_TCP, SIM_UDP, SIM_CTL, APP_PORT, APP_URI
#                           (with RIG_USB=1 the printer is the simulator's
#                           emulated USB printer, under umockdev)
#   rig_stop DIR            stops what rig_start started
#   rig_sim CMD...          a simulator control command
#
# Environment of rig_start: RIG_APP_OPTIONS, more server options ("-o
# job-time-limit=5"); RIG_APP_WRAPPER, a command the server runs under
# (valgrind ...). The server runs as installed (logins checked with PAM
# "login"): root on loopback is an administrator by the kernel's word.

rig_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

rig_sim() { "$RIG_BUILD/sim/kpx7720mw-sim" ctl --socket "$SIM_CTL" "$@"; }

rig_start() {
  local dir=$1
  RIG_BUILD=$2
  mkdir -p "$dir"
  local usb=() preload=() device
  [ "${RIG_USB:-0}" = 1 ] && usb=(--usb)
  "$RIG_BUILD/sim/kpx7720mw-sim-start.sh" "$dir/sim" --jobs-dir "$dir/sim/jobs" "${usb[@]}" >"$dir/sim.info"
  SIM_TCP=$(sed -n 's/^tcp=//p' "$dir/sim.info")
  SIM_UDP=$(sed -n 's/^udp=//p' "$dir/sim.info")
  SIM_CTL=$(sed -n 's/^control=//p' "$dir/sim.info")
  device=socket://$SIM_TCP
  if [ ${#usb[@]} -gt 0 ]; then
    preload=(env LD_PRELOAD=libumockdev-preload.so.0 "UMOCKDEV_DIR=$(sed -n 's/^usb_dir=//p' "$dir/sim.info")")
    device=usb://ZUVA/KPX7720MW
  fi
  APP_PORT=$(rig_free_port)
  # SNAP_COMMON puts PAPPL's local socket into DIR (it would be /run as root).
  # KPX_PRINTER_APP_RUNDIR keeps its USB owner marker there too.
  export SNAP_COMMON=$dir KPX_PRINTER_UDP_PORT=${SIM_UDP##*:} KPX_PRINTER_APP_RUNDIR=$dir/run
  # Its own temporary directory, which tests look into.
  mkdir -p "$dir/tmp"
  # shellcheck disable=SC2086  # (words on purpose)
  TMPDIR=$dir/tmp "${preload[@]}" ${RIG_APP_WRAPPER:-} "$RIG_BUILD/printerapp/kpx7720mw-printer-app" server -o server-port="$APP_PORT" -o spool-directory="$dir/spool" \
    -o log-file="$dir/app.log" -o log-level="${RIG_LOG_LEVEL:-info}" -o state-file="$dir/app.state" ${RIG_APP_OPTIONS:-} \
    </dev/null >"$dir/app.out" 2>&1 &
  echo $! >"$dir/app.pid"
  # The socket is there before it is served; the server restricts it from
  # its main loop, so the restricted mode says it serves (a client that
  # finds nobody would start a private server of its own).
  local i ready=
  for i in $(seq 1 600); do
    case $(stat -c %a "$dir/kpx7720mw-printer-app.sock" 2>/dev/null) in 770 | 700) ready=1; break ;; esac
    sleep 0.1
  done
  # Without a server the client sub-command below would start a private
  # one of its own, which nothing stops.
  [ -n "$ready" ] && kill -0 "$(cat "$dir/app.pid")" 2>/dev/null ||
    { echo "rig: the application did not start"; cat "$dir/app.out" "$dir/app.log" 2>/dev/null | tail -5; return 1; }
  "$RIG_BUILD/printerapp/kpx7720mw-printer-app" add -d KPX7720MW -m kpx7720mw -v "$device" >/dev/null
  APP_URI=ipp://localhost:$APP_PORT/ipp/print/KPX7720MW
  RIG_TESTS=$dir
}

rig_stop() {
  local dir=$1
  if [ -f "$dir/app.pid" ]; then
    kill "$(cat "$dir/app.pid")" 2>/dev/null || true
    for _ in $(seq 1 300); do kill -0 "$(cat "$dir/app.pid")" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$(cat "$dir/app.pid")" 2>/dev/null || true  # (one that hangs must not outlive the test)
    rm -f "$dir/app.pid"
  fi
  [ -n "${SIM_CTL:-}" ] && rig_sim quit >/dev/null 2>&1 || true
}

# Asks for the printer's attributes (into DIR/attrs) until PATTERN shows.
# PAPPL asks the status callback when a client asks for the attributes, at
# most once a second or so.
rig_wait_attrs() {  # DIR PATTERN
  local dir=$1 pattern=$2 i
  for i in $(seq 1 20); do
    ipptool -tv "$APP_URI" /usr/share/cups/ipptool/get-printer-attributes.test >"$dir/attrs" 2>&1 || true
    grep -Eq "$pattern" "$dir/attrs" && return 0
    sleep 1
  done
  echo "never saw: $pattern"; grep -E 'printer-state-reasons|printer-supply ' "$dir/attrs"; return 1
}

# Waits until the simulator holds N finished jobs.
rig_wait_jobs() { rig_sim wait-jobs "$1" "${2:-60}" >/dev/null; }

# A small PDF of N text pages, made with Ghostscript.
rig_make_pdf() {
  local out=$1 pages=${2:-2} ps=$1.ps i
  printf '%%!PS\n/Helvetica findfont 24 scalefont setfont\n' >"$ps"
  for i in $(seq 1 "$pages"); do printf '72 700 moveto (KPX7720MW page %d) show showpage\n' "$i" >>"$ps"; done
  gs -q -dSAFER -sDEVICE=pdfwrite -o "$out" "$ps"
}

# An ipptool test (on stdout) of OPERATION: the operation attributes every
# request has, the target (printer-uri $uri unless another "ATTR uri ..."
# line comes first), requesting-user-name $user (ipptool's user, or -d
# user=NAME), then LINES (ATTR, FILE, EXPECT, DISPLAY, ...) and, unless
# they have one, STATUS successful-ok.
rig_op() {  # OPERATION [LINE...]
  local op=$1 target='ATTR uri printer-uri $uri'
  shift
  case ${1:-} in "ATTR uri "*) target=$1; shift ;; esac
  printf '{\n  NAME "%s"\n  OPERATION %s\n  GROUP operation-attributes-tag\n' "$op" "$op"
  printf '  %s\n' 'ATTR charset attributes-charset utf-8' 'ATTR naturalLanguage attributes-natural-language en' \
    "$target" 'ATTR name requesting-user-name $user' "$@"
  case "$*" in *STATUS*) ;; *) echo '  STATUS successful-ok' ;; esac
  echo '}'
}

# Prints FILE as FORMAT (ipptool -d NAME=VALUE... adds "user", "name" for
# requesting-user-name and job-name) and waits up to two minutes for the job
# to end. Echoes "STATE REASONS" ("completed job-completed-successfully"),
# or "rejected STATUS" when the request was refused. Runs ipptool under
# ${RIG_CLIENT[@]} when set (runuser -u USER --).
rig_print() {  # FILE FORMAT [NAME=VALUE...]
  local file=$1 format=$2 out defs=(-d user=tester -d name=job)
  shift 2
  for d in "$@"; do defs+=(-d "$d"); done
  [ -f "$RIG_TESTS/print-wait.test" ] || {
    rig_op Print-Job 'ATTR name job-name $name' 'ATTR mimeMediaType document-format $format' 'FILE $filename'
    rig_op Get-Job-Attributes 'ATTR integer job-id $job-id' 'DELAY 0.5' 'STATUS successful-ok' \
      'EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 240' 'DISPLAY job-state' 'DISPLAY job-state-reasons'
  } >"$RIG_TESTS/print-wait.test"
  out=$(timeout 150 "${RIG_CLIENT[@]}" ipptool -tv "${defs[@]}" -d format="$format" -f "$file" "$APP_URI" "$RIG_TESTS/print-wait.test" 2>&1) || true
  if grep -q 'Print-Job .*\[FAIL\]' <<<"$out"; then
    echo "rejected $(sed -n 's/^ *status-code = \([^ ]*\).*/\1/p' <<<"$out" | head -1)"
    return
  fi
  echo "$(sed -n 's/^ *job-state (enum) = //p' <<<"$out" | tail -1) $(sed -n 's/^ *job-state-reasons ([^)]*) = //p' <<<"$out" | tail -1)"
}
