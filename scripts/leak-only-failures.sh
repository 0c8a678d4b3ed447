#!/usr/bin/env bash
# Prints the tests of a ctest log (Testing/Temporary/LastTest.log) that
# failed only because the sanitizer reported a leak at exit: every check of
# the test passed, no other sanitizer error. One name a line.
set -euo pipefail
awk '
  /^[0-9]+\/[0-9]+ Testing: / { name = $3; leak = passed = other = 0; next }
  /ERROR: LeakSanitizer/ { leak = 1 }
  /\[  PASSED  \]/ { passed = 1 }
  /\[  FAILED  \]|ERROR: AddressSanitizer|runtime error:|Segmentation|Aborted/ { other = 1 }
  /^Test Failed/ { if (leak && passed && !other) print name }
' "$1"
