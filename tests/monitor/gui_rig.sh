# Shared by the tray programs' X tests (sourced): the work directory's
# cleanup, check/ctl/wait_for helpers, and an Xvfb display with a tray host
# (trayer) at the bottom right, at 96 dpi as a desktop X server reports by
# default (Xvfb alone says 100). The sourcing script sets work, sim and pids
# first; start_display exports DISPLAY.

cleanup() {
  [ -S "$work/sim/ctl.sock" ] && "$sim" ctl --socket "$work/sim/ctl.sock" quit >/dev/null 2>&1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}
ctl() { "$sim" ctl --socket "$work/sim/ctl.sock" "$@" >/dev/null; }
wait_for() {  # wait_for SECONDS COMMAND...
  local until=$((SECONDS + $1)); shift
  while [ $SECONDS -le $until ]; do "$@" && return 0; sleep 0.2; done
  return 1
}

start_display() {
  exec 5>"$work/display"
  Xvfb -displayfd 5 -screen 0 1280x800x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/display" || { echo "Xvfb did not start"; exit 1; }
  DISPLAY=:$(head -1 "$work/display")
  export DISPLAY
  trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
    --transparent false --tint 0x333333 >"$work/trayer.log" 2>&1 &
  pids+=($!)
}
