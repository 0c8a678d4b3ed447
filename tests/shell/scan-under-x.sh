#!/usr/bin/env bash
# Scan to test in the real program on a real X server: xdotool types two
# labels and Enter as a keyboard-wedge scanner does, without a mouse, and the
# run log (read with the sqlite3 client) holds each sequence's runs under its
# serial, its type and the type's profile.
#
#   scan-under-x.sh KT6100 KT6100-SIM [SCREENSHOT.xwd]
set -euo pipefail
app=$(realpath "$1") sim=$(realpath "$2") shot=${3:-}
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
cat >"$KT6100_PROFILES/eb.json" <<'JSON'
{"name": "EB line", "type": "EB-236", "sequence": ["input", "comp"],
 "rules": [{"figure": "Urms", "min": 150}, {"figure": "PF", "min": 0.5}]}
JSON
# The station is set up to scan; everything else is as installed.
printf '[scan]\non=true\n' >"$XDG_CONFIG_HOME/KT6100/kt6100.conf"

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
# No window manager gives the window the keyboard: it is given once, as an
# operator's first click would. Every later key goes wherever the program
# put the cursor.
xdotool windowfocus --sync "$wid"

runs() {
  local db
  db=$(find "$XDG_DATA_HOME" -name '*.db' | head -1)
  [ -n "$db" ] && sqlite3 "$db" "SELECT kind || ' ' || serial || ' ' || type || ' ' || profile_name || ' ' || verdict
                                 FROM runs ORDER BY seq" | tr '\n' '|'
}
scan() {
  xdotool type --delay 15 "$1"
  xdotool key Return
}

scan 'EB-236*SN1042'
wait_for 60 bash -c "$(declare -f runs); runs | grep -q 'SN1042.*|.*SN1042'" || fail "SN1042 not logged: $(runs)"
# The second label has no type: the station keeps EB-236.
scan 'SN1043'
wait_for 60 bash -c "$(declare -f runs); runs | grep -q 'SN1043.*|.*SN1043'" || fail "SN1043 not logged: $(runs)"
got=$(runs)
want='1 SN1042 EB-236 EB line 1|3 SN1042 EB-236 EB line 1|1 SN1043 EB-236 EB line 1|3 SN1043 EB-236 EB line 1|'
[ "$got" = "$want" ] || fail "log holds: $got"
if [ -n "$shot" ]; then
  sleep 0.5
  xwd -root -silent >"$shot"
fi
echo "ok: $got"
