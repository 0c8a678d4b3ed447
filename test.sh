#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests with ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
kt_ensure_packages

jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
built=$(date +%s)

set +e
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300 2>&1 | tee build/ctest.log
status=${PIPESTATUS[0]}
set -e
done_at=$(date +%s)

echo
echo "== Summary"
grep -E '^[0-9]+% tests passed' build/ctest.log || true
echo "build: $((built - start)) s, tests: $((done_at - built)) s"
exit "$status"
