#!/usr/bin/env bash
# Builds every fuzz target of tests/fuzz with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs each for
# SECONDS (default 60) on a copy of its seed corpus. Prints one line per
# target (executions, rate, coverage, findings) and exits non-zero when any
# target found something; the inputs that did are kept under
# build-fuzz/findings/. FUZZ_JOBS targets run side by side (default 1; one
# per core is the most that keeps each target's rate its own).
#
#   [FUZZ_JOBS=N] bash scripts/fuzz.sh [SECONDS [TARGET...]]   (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
parallel=${FUZZ_JOBS:-1}
if [[ ! $seconds =~ ^[0-9]+$ || ! $parallel =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: [FUZZ_JOBS=N] fuzz.sh [SECONDS [TARGET...]]" >&2
  exit 2
fi

# clang with libFuzzer's runtime, from Debian when missing.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  echo "fuzz: installing clang and libFuzzer"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi

build=build-fuzz
jobs=$(nproc)
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKPX_FUZZ=ON -DKPX_SANITIZE=ON -DKPX_BUILD_TESTS=OFF -DKPX_BUILD_SIM=OFF -DKPX_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target kpx_fuzz >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp
work="$build/runs"
findings="$build/findings"
rm -rf "$work" "$findings"
mkdir -p "$work" "$findings"

# Runs one target and leaves its summary line in $work/NAME.line; the
# exit status says whether it found something.
fuzz_one() {
  local name=$1
  local bin="$build/tests/fuzz/fuzz_$name" corpus="$work/$name" log="$work/$name.log"
  mkdir -p "$corpus"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$findings/$name-" "$corpus")
  [ -f "tests/fuzz/dict/$name.dict" ] && args=(-dict="tests/fuzz/dict/$name.dict" "${args[@]}")
  [ -d "tests/fuzz/corpus/$name" ] && args+=("tests/fuzz/corpus/$name")
  local status=0
  "$bin" "${args[@]}" >"$log" 2>&1 || status=$?
  local execs rate cov ft found
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1 || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  found=$(find "$findings" -name "$name-*" -type f | wc -l)
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
  printf '%-20s %12s %10s %6s %6s %s\n' "$name" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$found" \
    >"$work/$name.line"
  [ "$found" -eq 0 ]
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_one "$name" &
  running=$((running + 1))
done
wait || true

failed=0
printf '%-20s %12s %10s %6s %6s %s\n' target executions exec/s cov ft findings
for name in "${targets[@]}"; do
  if [ ! -s "$work/$name.line" ]; then
    printf '%-20s did not run\n' "$name" >"$work/$name.line"
  fi
  cat "$work/$name.line"
  found=$(awk '{print $NF}' "$work/$name.line")
  if [ "$found" != 0 ]; then
    failed=1
    echo "  see $work/$name.log" >&2
    grep -m3 -E 'ERROR: |runtime error|invariant broken' "$work/$name.log" | sed 's/^/  /' >&2 || true
  fi
done
exit "$failed"
