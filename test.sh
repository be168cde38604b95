#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite, then again under ASan + UBSan, then checks
# the naming rule.
set -euo pipefail
cd "$(dirname "$0")"

./setup.sh
JOBS=$(nproc)

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$JOBS"
ctest --preset dev

cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset asan-ubsan
