#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests with ctest.
#
#   ./test.sh              the normal build in build/
#   ./test.sh --sanitize   the same suite built with AddressSanitizer and
#                          UndefinedBehaviorSanitizer, in build-asan/
#
# KT_SOAK_RUNS sets the length of the soak tests (label "soak"; default 300
# runs each, 100 in the sanitizer build). KT_WERROR=ON turns compiler warnings
# into errors (CI does).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
kt_ensure_packages

build=build
flags=()
soak=${KT_SOAK_RUNS:-300}
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DKT_SANITIZE=ON)
  soak=${KT_SOAK_RUNS:-100}
  # Leaks are found at exit; undefined behaviour stops the test at once.
  # The slow unwinder follows a stack through Qt's frames, so a leak report
  # names the code that allocated, not only QtCore.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
export KT_SOAK_RUNS=$soak

jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_WERROR="${KT_WERROR:-OFF}" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
built=$(date +%s)

set +e
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900 2>&1 | tee "$build/ctest.log"
status=${PIPESTATUS[0]}
set -e
done_at=$(date +%s)

echo
echo "== Summary ($build)"
grep -E '^[0-9]+% tests passed' "$build/ctest.log" || true
echo "build: $((built - start)) s, tests: $((done_at - built)) s, soak runs per test: $soak"
exit "$status"
