#!/usr/bin/env bash
# Sets up, builds the whole tree once with AddressSanitizer + UBSan (clang), runs every test
# in it while checking the naming rule. The GCC build (`dev` preset) is the one developers work
# in; one sanitizer build keeps this command within its time budget on two cores.
set -euo pipefail
cd "$(dirname "$0")"

./setup.sh
JOBS=$(nproc)

cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan -j "$JOBS"
# The naming check runs beside the tests, which mostly wait on timers and servers.
NAMING_LOG=$(mktemp)
trap 'rm -f "$NAMING_LOG"' EXIT
JOBS=$JOBS tools/check-naming.sh >"$NAMING_LOG" 2>&1 &
NAMING_PID=$!
# Sanitized debug frames are several times the program's: the XML reader's deepest allowed
# nesting needs more than the default 8 MiB there.
(
    ulimit -S -s 65536 2>/dev/null || ulimit -S -s "$(ulimit -H -s)"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --preset asan-ubsan
) || TESTS_FAILED=1

NAMING_STATUS=0
wait "$NAMING_PID" || NAMING_STATUS=$?
cat "$NAMING_LOG"
[ -z "${TESTS_FAILED:-}" ] && [ "$NAMING_STATUS" -eq 0 ]
