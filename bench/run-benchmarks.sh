#!/usr/bin/env bash
# Builds what the benchmarks need and prints one table of figures, with the
# figures aimed at beside them. Figures, not a verdict: the exit status only
# says whether everything could be measured.
#
#   bench/run-benchmarks.sh            every figure, the test suite's time, and
#                                      logs of 1 000 000 runs on SQLite and on
#                                      PostgreSQL (writing them takes most of
#                                      the hour it runs; KT_BENCH_KEEP=folder
#                                      keeps them for the next time)
#   bench/run-benchmarks.sh --quick    about 4 minutes: fewer repeats, shorter
#                                      CPU windows, smaller logs, no test suite
#
# KT_BENCH_LARGE / KT_BENCH_PG_LARGE set the large logs' sizes.
# The last table lists the figures that have an aim, each beside it.
#
# KT_BUILD=folder builds and measures there instead of build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

quick=0
for a in "$@"; do
  case "$a" in
    --quick) quick=1 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $a" >&2; exit 2 ;;
  esac
done

source scripts/ensure-packages.sh
kt_ensure_packages

build=${KT_BUILD:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs" --target kt6100 kt6100-sim window_bench link_latency_bench page_paint_bench runlog_bench \
  log_window_bench remote_bench >/dev/null

export QT_QPA_PLATFORM=offscreen
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d)
  export XDG_RUNTIME_DIR=$runtime
fi
rows=$(mktemp)
aims=$(mktemp)
log=$(mktemp)
trap 'rm -f "$rows" "$aims" "$log"; [ -n "$runtime" ] && rm -rf "$runtime"' EXIT

if [ "$quick" = 1 ]; then
  idle_s=5; window_args=(--quick); latency_args=(--quick); paint_args=(--quick)
else
  idle_s=30; window_args=(); latency_args=(); paint_args=()
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)
status=0
step() {  # step NAME COMMAND...: its rows go to the table, the rest to the log
  local name=$1 out
  shift
  out=$(mktemp)
  echo "running $name ..." >&2
  if ! "$@" >"$out" 2>>"$log"; then
    echo "  $name failed; the end of its output:" >&2
    tail -20 "$log" >&2
    status=1
  fi
  grep -E '^(ROW|NOTE)	' "$out" >> "$rows" || true
  grep -E '^AIM	' "$out" >> "$aims" || true
  rm -f "$out"
}
# The event-loop blocks once more, with two busy processes beside the window.
under_load() {
  stress-ng --cpu 2 --quiet &
  local hog=$! rc=0
  "$build/bench/window_bench" --blocks-only "stress-ng --cpu 2 beside it" "${window_args[@]}" || rc=$?
  kill "$hog" 2>/dev/null || true
  wait "$hog" 2>/dev/null || true
  return "$rc"
}
# Idle first, while nothing else of ours is running.
step idle-cpu env KT_BUILD="$build" bench/idle-cpu.sh "$idle_s" --rows
step window_bench "$build/bench/window_bench" "${window_args[@]}"
step link_latency_bench "$build/bench/link_latency_bench" "${latency_args[@]}"
step page_paint_bench "$build/bench/page_paint_bench" "${paint_args[@]}"
step window_bench-under-load under_load
if [ "$quick" = 1 ]; then window_log=20000; else window_log=100000; fi
step log_window_bench "$build/bench/log_window_bench" --runs "$window_log"
step remote_bench "$build/bench/remote_bench" "${window_args[@]}"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

sanitized=""
if grep -qE '^KT_(SANITIZE|FUZZ):BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  sanitized=" -- WARNING: $build is a sanitizer build; these figures do not describe the program"
fi

echo
echo "KT6100 benchmarks, $(date '+%Y-%m-%d %H:%M'), $(nproc) cores, $(basename "$build") (RelWithDebInfo)$sanitized"
# Sections in a fixed order; rows keep their order within a section.
awk -F'\t' '
  BEGIN {
    n = split("CPU|Window responsiveness|Link latency|Line-rate simulator|Instant simulator|Decoding|Page paint|Report to PDF|Remote control|Start-up and memory", order, "|")
  }
  $1 == "NOTE" { notes[++nn] = $2; next }
  $1 != "ROW" { next }
  {
    s = n + 1
    for (i = 1; i <= n; ++i) if (index($2, order[i]) == 1) { s = i; break }
    if (!(s in title)) title[s] = $2
    k = ++count[s]
    measure[s, k] = $3; figure[s, k] = $4; target[s, k] = $5
    if (length($3) > wm) wm = length($3)
    if (length($4) > wf) wf = length($4)
  }
  END {
    if (wm > 100) wm = 100
    line = sprintf("%" (wm + wf + 18) "s", ""); gsub(/ /, "-", line)
    printf "%s\n  %-" wm "s  %-" wf "s  %s\n%s\n", line, "measure", "figure", "target", line
    for (s = 1; s <= n + 1; ++s) {
      if (!(s in title)) continue
      printf "%s\n", title[s]
      for (k = 1; k <= count[s]; ++k)
        printf "  %-" wm "s  %-" wf "s  %s\n", measure[s, k], figure[s, k], target[s, k]
    }
    print line
    for (i = 1; i <= nn; ++i) printf "Note: %s\n", notes[i]
  }' "$rows" | fold -s -w 220
echo
echo "Run log (runlog_bench):"
if [ "$quick" = 1 ]; then large=100000; commits=10; else large=1000000; commits=30; fi
large=${KT_BENCH_LARGE:-$large}
pg_large=${KT_BENCH_PG_LARGE:-$large}
keep=()
[ -n "${KT_BENCH_KEEP:-}" ] && keep=(--keep "$KT_BENCH_KEEP")
runlog_out=$(mktemp)
"$build/bench/runlog_bench" --runs 2000 --large "$large" --pg-large "$pg_large" --commits "$commits" "${keep[@]}" \
  2>>"$log" | tee "$runlog_out" | grep -v '^AIM	' ||
  { echo "  runlog_bench failed" >&2; status=1; }
grep -E '^AIM	' "$runlog_out" >> "$aims" || true
rm -f "$runlog_out"

if [ "$quick" = 0 ]; then
  # The suite as ./test.sh runs it: everything built first, then ctest alone
  # is timed.
  echo "running the test suite ..." >&2
  cmake --build "$build" -j "$jobs" >/dev/null
  t0=$(date +%s.%N)
  if ctest --test-dir "$build" -j "$jobs" --timeout 900 >>"$log" 2>&1; then passed="all passed"; else passed="SOME FAILED"; status=1; fi
  t1=$(date +%s.%N)
  printf 'AIM\t./test.sh test phase (ctest -j %s, %s)\t%.0f s\t< 60 s\n' "$jobs" "$passed" \
    "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" >> "$aims"
fi

echo
echo "Figures and their aims:"
awk -F'\t' '{ if (length($2) > w) w = length($2); if (length($3) > v) v = length($3); r[++n] = $0 }
  END { for (i = 1; i <= n; ++i) { split(r[i], f, "\t"); printf "  %-" w "s  %-" v "s  %s\n", f[2], f[3], f[4] } }' "$aims"
echo "Load average (1/5/15 min) before: $load_before; after: $load_after. Shared machine: figures vary with what else runs."
echo "Took $(( $(date +%s) - started )) s."
exit "$status"
