# Sourced by the tests that drive the real program on a real X server:
# a folder of its own, the simulator as COM2, Xvfb, and helpers.
#
#   app=… sim=… ; source under-x.sh ; (settings, profiles) ; start_window
set -euo pipefail
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local limit=$1
  shift
  for ((i = 0; i < limit * 10; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
export KT6100_PROFILES=$work/profiles
mkdir -p "$KT6100_PROFILES" "$XDG_CONFIG_HOME/KT6100" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The X server, the simulator and the window; `wid` is the window's id.
start_window() {
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$work/display")
  unset QT_QPA_PLATFORM
  "$sim" --link "$work/COM2" --exit-with-parent --seed 5 >"$work/sim.log" 2>&1 &
  pids+=($!)
  wait_for 20 test -e "$work/COM2" || fail "the simulator did not link COM2"
  (cd "$work" && exec "$app") >"$work/app.log" 2>&1 &
  pids+=($!)
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name KT6100 | head -1) || fail "no window: $(cat "$work/app.log")"
  [ -n "$wid" ] || fail "no window"
}

# The run log's database (SQLite, where the program keeps it by default).
log_db() { find "$XDG_DATA_HOME" -name '*.db' | head -1; }

# The screen into $1 (an xwd file), when a name is given.
screenshot() {
  [ -n "${1:-}" ] || return 0
  sleep 0.5
  xwd -root -silent >"$1"
}
