#!/usr/bin/env bash
# The filters' fault-injection tests with SIGTERM at ROUNDS moments (default
# 200) instead of the handful the test command tries. Uses the build in
# build/ (configure and build first; mounting tmpfs needs root).
#
#   bash scripts/fault.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-200}
cmake --build build -j"$(nproc)" --target filter_fault_tests >/dev/null
KPX_FAULT_ROUNDS=$rounds ctest --test-dir build --output-on-failure -L fault
