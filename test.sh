#!/usr/bin/env bash
# Sets up, builds the whole tree once with AddressSanitizer + UBSan (clang), runs every test
# in it, then checks the naming rule. The GCC build (`dev` preset) is the one developers work
# in; one sanitizer build keeps this command within its time budget on two cores.
set -euo pipefail
cd "$(dirname "$0")"

./setup.sh
JOBS=$(nproc)

cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan -j "$JOBS"
# Sanitized debug frames are several times the program's: the XML reader's deepest allowed
# nesting needs more than the default 8 MiB there.
(
    ulimit -S -s 65536 2>/dev/null || ulimit -S -s "$(ulimit -H -s)"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --preset asan-ubsan
)

JOBS=$JOBS tools/check-naming.sh
