#!/usr/bin/env bash
# Sets up a fresh machine (Debian packages), builds the project three times
# and runs every test: the normal build runs the whole suite, the sanitizer
# build (AddressSanitizer + UndefinedBehaviorSanitizer) the unit and filter
# tests, the fuzz targets a few seconds each (scripts/fuzz.sh), and the arm64 cross build its unit and window tests under qemu-user
# and the checks of its package (scripts/test-arm64.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DKPX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L sanitize

# A short fuzz run of every target: the seed corpora (with the inputs of
# past findings) and a few seconds of new ones each.
FUZZ_JOBS="$jobs" bash scripts/fuzz.sh 5

bash scripts/test-arm64.sh build-arm64
