#!/usr/bin/env bash
# The window as a SCPI instrument on a real X server: a station set up for
# remote control listens; PyVISA (Debian's python3) sets the test
# information and limits, starts an input run, waits with *OPC? and fetches
# the verdict and a figure; the status bar says who controls the station
# (read from a screenshot's text is not possible, so from the window's own
# log of changes); the run log holds the run and the controller's changes.
#
#   remote-under-x.sh KT6100 KT6100-SIM [SCREENSHOT.xwd]
set -euo pipefail
app=$(realpath "$1") sim=$(realpath "$2") shot=${3:-}
source "$(dirname "$0")/under-x.sh"
cat >"$KT6100_PROFILES/bench.json" <<'JSON'
{"name": "bench", "rules": [{"figure": "Urms", "min": 150}]}
JSON
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[remote]\non=true\nlisten=127.0.0.1:%s\n' "$port" >"$XDG_CONFIG_HOME/KT6100/kt6100.conf"

start_window
wait_for 30 /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" ||
  fail "the window does not listen on $port: $(cat "$work/app.log")"

/usr/bin/python3 - "$port" "$work/answers" <<'PY'
import sys
import pyvisa

port, out = sys.argv[1], sys.argv[2]
rm = pyvisa.ResourceManager("@py")
line = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n", write_termination="\n",
                        timeout=120000, encoding="utf-8")
answers = [line.query("*IDN?").split(",")[1]]
line.write('CONF:INFO:NO "W-1";:CONF:LIM "bench";:INIT:INP')
answers += [line.query("*OPC?"), line.query("FETC:VERD?"), str(float(line.query('FETC:SCAL? "Urms"')) > 150)]
line.write("FOO")
answers.append(line.query("SYST:ERR?").split(",")[0])
open(out, "w").write(" ".join(answers))
PY
got=$(cat "$work/answers")
[ "$got" = "KT6100 1 PASS True -113" ] || fail "the controller read: $got"

db=$(log_db)
[ -n "$db" ] || fail "no run log"
wait_for 30 bash -c "sqlite3 '$db' \"SELECT serial || ' ' || verdict FROM runs\" | grep -qx 'W-1 1'" ||
  fail "the run is not logged: $(sqlite3 "$db" 'SELECT serial, verdict FROM runs')"
changes=$(sqlite3 "$db" "SELECT what FROM audit WHERE who LIKE '127.0.0.1:%' ORDER BY seq" | tr '\n' '|')
want='remote: CONF:INFO:NO W-1|remote: CONF:LIM bench|remote: INIT:INP|'
[ "$changes" = "$want" ] || fail "the controller's changes in the log: $changes"
screenshot "$shot"
echo "ok: $got"
