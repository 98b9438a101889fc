#!/usr/bin/env bash
# Cross-builds the project for arm64, runs its unit tests (filter job logic,
# status decoder, IP setup conversions, printer-stream analysis) and the
# windows on Qt's offscreen platform under qemu-user, then packs the arm64
# .deb from that tree and checks it (contents, modes, Depends, lintian).
# Installs what it needs first (scripts/setup.sh --arm64).
#
#   bash scripts/test-arm64.sh [BUILD_DIR]          (default: build-arm64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-arm64}

bash scripts/setup.sh --arm64

jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/packaging/aarch64-linux-gnu.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_BUILD_SIM=OFF -DKPX_UNIT_TESTS_ONLY=ON >/dev/null
cmake --build "$build" -j"$jobs"

# Every test program must be an arm64 program run by the emulator, or the
# run proves nothing about arm64.
for t in filter/unit/filter_unit_tests monitor/kpx_monitor_core_tests monitor/kpx_monitor_window_tests \
         netipset/kpx_netipset_window_tests; do
  file -L "$build/tests/$t" | grep -q 'ARM aarch64' || { echo "$t is not an arm64 program" >&2; exit 1; }
done
ctest --test-dir "$build" -N -V | grep 'Test command:' | grep -qv 'qemu-aarch64' \
  && { echo "some tests in $build do not run under qemu-aarch64" >&2; exit 1; }

ctest --test-dir "$build" --output-on-failure -j"$jobs"

bash tests/packaging/check_deb.sh "$build" "$PWD"
