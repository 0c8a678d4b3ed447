#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, two at a time.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); TARGETs by name (default all, see below).
# Each run starts from a fresh copy of its seeds in tests/data/fuzz/<target>/
# and works in its own folder, so nothing under tests/data changes unless
# KT_FUZZ_SAVE_FINDINGS=1 asks for the findings to be copied there as
# regression inputs. Prints per target: executions, executions per second,
# coverage and features, and what was found. Exits non-zero when any target
# found something; the finding's file is named in the output.
#
# Environment: KT_FUZZ_BUILD (build folder, default <repo>/build-fuzz),
# KT_FUZZ_WORK (working folder, default a new one under /tmp),
# KT_FUZZ_PARALLEL (targets at a time, default 2).
set -euo pipefail

ALL_TARGETS=(dat_file bdt_file port_cfg profile scan_text user_file scpi_line input_blocks output_blocks comp_blocks start_blocks phase_blocks gao_blocks bao_blocks)

seconds=60
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${ALL_TARGETS[@]}")
for t in "${targets[@]}"; do
  if [[ ! " ${ALL_TARGETS[*]} " == *" $t "* ]]; then
    echo "unknown fuzz target: $t (known: ${ALL_TARGETS[*]})" >&2
    exit 2
  fi
done

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KT_FUZZ_BUILD:-$root/build-fuzz}
work=${KT_FUZZ_WORK:-$(mktemp -d /tmp/kt-fuzz.XXXXXX)}
parallel=${KT_FUZZ_PARALLEL:-2}

# shellcheck source=ensure-packages.sh
source "$root/scripts/ensure-packages.sh"
kt_ensure_packages

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKT_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

echo "Fuzzing ${#targets[@]} target(s) for ${seconds} s each, ${parallel} at a time, in $work"

run_one() {
  local t=$1 dir="$work/$1"
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/findings"
  cp -r "$root/tests/data/fuzz/$t/." "$dir/corpus/"
  # -timeout: an input that takes 10 s is a hang. The working corpus grows;
  # the seeds stay as they are.
  local rc=0
  nice -n 10 "$build/tests/fuzz/fuzz_$t" "$dir/corpus" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/" >"$dir/log" 2>&1 || rc=$?
  echo "$rc" >"$dir/rc"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "  started $t"
  run_one "$t" &
  running=$((running + 1))
done
wait

failed=0
printf '\n%-14s %8s %12s %9s %8s %9s  %s\n' target seconds executions exec/s cov features result
for t in "${targets[@]}"; do
  dir="$work/$t"
  log="$dir/log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  mapfile -t found < <(find "$dir/findings" -type f | sort)
  rc=$(cat "$dir/rc")
  if [ ${#found[@]} -eq 0 ] && [ "$rc" -eq 0 ]; then
    result="nothing found"
  else
    failed=1
    result="FOUND (exit $rc): ${found[*]:-no input saved, see $log}"
    if [ "${KT_FUZZ_SAVE_FINDINGS:-0}" = 1 ]; then
      for f in "${found[@]}"; do cp "$f" "$root/tests/data/fuzz/$t/"; done
    fi
  fi
  printf '%-14s %8s %12s %9s %8s %9s  %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
echo "Logs and working corpora: $work"
exit "$failed"
