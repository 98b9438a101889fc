#!/usr/bin/env bash
# Filter overhead over bare Ghostscript (wall-time ratio, median of runs)
# and the filter's own peak RSS. Usage: bench/filter.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target filter_bench pstopxl_7720mw >/dev/null
exec build/bench/filter_bench build/filter/pstopxl_7720mw "${1:-5}"
