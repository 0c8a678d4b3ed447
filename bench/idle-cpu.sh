#!/usr/bin/env bash
# CPU used by the real program sitting idle (window open offscreen, the
# simulator attached, nothing running), read from /proc over a given number of
# seconds (default 30), and its resident memory. Needs a built tree: the
# folder in KT_BUILD, default build/.
#   idle-cpu.sh [SECONDS] [--rows]   --rows: table rows for run-benchmarks.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KT_BUILD:-$root/build}
seconds=30
rows=0
for a in "$@"; do
  case "$a" in
    --rows) rows=1 ;;
    *) seconds=$a ;;
  esac
done
work=$(mktemp -d)
cd "$work"
"$build/sim/kt6100-sim" --link "$work/COM2" > sim.out &
sim=$!
trap 'kill $sim ${app:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q ready sim.out && break; sleep 0.05; done
QT_QPA_PLATFORM=offscreen "$build/src/app/kt6100" 2>/dev/null &
app=$!
sleep 2  # start-up is not idle time
# CPU time in nanoseconds, summed over the program's threads (schedstat:
# finer than the 10 ms ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ n += $1 } END { printf "%d", n }'; }
t0=$(cpu_ns $app)
s0=$(date +%s.%N)
sleep "$seconds"
t1=$(cpu_ns $app)
s1=$(date +%s.%N)
kb() { awk -v k="$1" '$1 == k":" { print $2 }' "/proc/$app/status"; }
rss=$(kb VmRSS)
hwm=$(kb VmHWM)
threads=$(awk '$1 == "Threads:" { print $2 }' "/proc/$app/status")
if [ "$rows" = 1 ]; then
  awk -v d=$((t1 - t0)) -v s0="$s0" -v s1="$s1" -v n="$seconds" -v rss="$rss" -v hwm="$hwm" -v th="$threads" 'BEGIN {
    printf "ROW\tCPU\tidle: kt6100 window open, simulator attached, nothing running, %d s (%d threads)\t%.3f %% of a core (%.1f ms CPU)\t< 0.5 %%\n", n, th, 100 * d / 1e9 / (s1 - s0), d / 1e6
    printf "ROW\tStart-up and memory\tresident memory of the idle kt6100 (VmRSS; peak VmHWM)\t%.1f MB (peak %.1f MB)\t-\n", rss / 1024, hwm / 1024
  }'
else
  awk -v d=$((t1 - t0)) -v s0="$s0" -v s1="$s1" -v n="$seconds" -v rss="$rss" -v hwm="$hwm" 'BEGIN {
    printf "idle CPU over %d s: %.1f ms of CPU = %.3f %% of one core; resident %.1f MB (peak %.1f MB)\n", n, d / 1e6, 100 * d / 1e9 / (s1 - s0), rss / 1024, hwm / 1024
  }'
fi
