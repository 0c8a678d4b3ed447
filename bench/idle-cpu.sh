#!/usr/bin/env bash
# CPU used by the program sitting idle with the simulator attached, read from
# /proc over a given number of seconds (default 30). Needs a built tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
work=$(mktemp -d)
cd "$work"
"$root/build/sim/kt6100-sim" --link "$work/COM2" > sim.out &
sim=$!
trap 'kill $sim ${app:-} 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q ready sim.out && break; sleep 0.05; done
QT_QPA_PLATFORM=offscreen "$root/build/src/app/kt6100" &
app=$!
sleep 2  # start-up is not idle time
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks $app)
sleep "$seconds"
t1=$(ticks $app)
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle CPU over %d s: %.3f s of CPU = %.3f %% of one core\n", s, d / hz, 100 * d / hz / s }'
