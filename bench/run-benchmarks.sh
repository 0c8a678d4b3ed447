#!/usr/bin/env bash
# Builds what the benchmarks need and prints one table of figures, with the
# figures aimed at beside them. Figures, not a verdict: the exit status only
# says whether everything could be measured.
#
#   bench/run-benchmarks.sh            about 2 to 3 minutes (idle CPU alone is 30 s)
#   bench/run-benchmarks.sh --quick    about 40 s, fewer repeats, shorter CPU windows
#
# KT_BUILD=folder builds and measures there instead of build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

quick=0
for a in "$@"; do
  case "$a" in
    --quick) quick=1 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $a" >&2; exit 2 ;;
  esac
done

source scripts/ensure-packages.sh
kt_ensure_packages

build=${KT_BUILD:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs" --target kt6100 kt6100-sim window_bench link_latency_bench page_paint_bench runlog_bench >/dev/null

export QT_QPA_PLATFORM=offscreen
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d)
  export XDG_RUNTIME_DIR=$runtime
fi
rows=$(mktemp)
log=$(mktemp)
trap 'rm -f "$rows" "$log"; [ -n "$runtime" ] && rm -rf "$runtime"' EXIT

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
  rm -f "$out"
}
# Idle first, while nothing else of ours is running.
step idle-cpu env KT_BUILD="$build" bench/idle-cpu.sh "$idle_s" --rows
step window_bench "$build/bench/window_bench" "${window_args[@]}"
step link_latency_bench "$build/bench/link_latency_bench" "${latency_args[@]}"
step page_paint_bench "$build/bench/page_paint_bench" "${paint_args[@]}"
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
    n = split("CPU|Window responsiveness|Link latency|Line-rate simulator|Instant simulator|Decoding|Page paint|Report to PDF|Start-up and memory", order, "|")
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
if [ "$quick" = 1 ]; then large=100000; else large=1000000; fi
"$build/bench/runlog_bench" --runs 2000 --large "$large" 2>>"$log" || { echo "  runlog_bench failed" >&2; status=1; }
echo "Load average (1/5/15 min) before: $load_before; after: $load_after. Shared machine: figures vary with what else runs."
echo "Took $(( $(date +%s) - started )) s."
exit "$status"
