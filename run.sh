#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the simulated
# instrument attached as COM2. Without a display it runs the demo driver
# instead, which writes what the window shows into demo-output/.
#
#   ./run.sh [simulator options]     e.g. ./run.sh --line-rate --seed 7
#   ./run.sh --no-sim                use the real instrument linked as run/COM1 or run/COM2
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
source scripts/ensure-packages.sh
kt_ensure_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kt6100 kt6100-sim kt6100-demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the demo driver on Qt's offscreen platform instead."
  exec "$root/build/src/app/kt6100-demo" "$root/demo-output"
fi

# The program keeps Port.cfg and finds its COMn links in its working folder.
mkdir -p run
cd run
use_sim=1
if [ "${1:-}" = "--no-sim" ]; then
  use_sim=0
  shift
fi
sim_pid=
if [ "$use_sim" = 1 ]; then
  port=$({ tr -d '\0' < Port.cfg; } 2>/dev/null | head -c 4 || true)
  case "$port" in COM1|COM2) ;; *) port=COM2 ;; esac
  sim_out=$(mktemp)
  "$root/build/sim/kt6100-sim" --link "$root/run/$port" "$@" > "$sim_out" &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"' EXIT
  for _ in $(seq 100); do
    grep -q '^ready' "$sim_out" && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
    sleep 0.05
  done
  echo "Simulated instrument on $(sed -n 's/^ready //p' "$sim_out"), linked as run/$port"
fi
"$root/build/src/app/kt6100"
