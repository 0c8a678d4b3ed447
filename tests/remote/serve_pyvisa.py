#!/usr/bin/python3
"""A line controller drives `kt6100-cli serve` on the simulator through PyVISA
(pure-Python backend, raw socket resource), as LabVIEW or a Python MES would.

    serve_pyvisa.py KT6100-CLI KT6100-SIM
"""
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import pyvisa

cli, sim_path = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="kt-serve-")
env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=f"{work}/config", XDG_DATA_HOME=f"{work}/data",
           XDG_RUNTIME_DIR=f"{work}/run", KT6100_PROFILES=f"{work}/profiles", QT_QPA_PLATFORM="offscreen")
for d in ("profiles", "run", "files"):
    os.makedirs(f"{work}/{d}", mode=0o700)
profiles = {
    "bench.json": {"name": "bench", "rules": [{"figure": "Urms", "min": 150}]},
    "tight.json": {"name": "tight", "rules": [{"figure": "Urms", "max": 100}]},
    "eb.json": {"name": "EB line", "type": "EB-236", "sequence": ["input", "comp"],
                "rules": [{"figure": "Urms", "min": 150}, {"figure": "PF", "min": 0.5}]},
    # Its input run fails (the power factor is far above 0.1), its output run passes.
    "bad.json": {"name": "Bad PF", "type": "EB-9", "sequence": ["input", "output"],
                 "rules": [{"figure": "PF", "max": 0.1}, {"figure": "Pout", "min": 1}]},
}
for name, profile in profiles.items():
    with open(f"{work}/profiles/{name}", "w") as f:
        json.dump(profile, f)

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def wait_for(what, test, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if test():
            return
        time.sleep(0.05)
    raise SystemExit(f"FAIL: {what}")


processes = []
for args in (["serve", "--listen", "nowhere"], ["serve", "input"], ["serve", "--allow", "not-an-address"]):
    check("usage error: " + " ".join(args), subprocess.run([cli, *args], env=env, capture_output=True).returncode, 64)


def start(name, sim_args=()):
    """The simulator as {name}, and serve on it; the port serve listens on."""
    processes.append(subprocess.Popen([sim_path, "--link", f"{work}/{name}", "--exit-with-parent", "--seed", "5",
                                       *sim_args], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    wait_for("the simulator links " + name, lambda: os.path.exists(f"{work}/{name}"))
    err = f"{work}/serve-{name}.err"
    processes.append(subprocess.Popen([cli, "serve", "--port", f"{work}/{name}", "--listen", "127.0.0.1:0",
                                       "--files", f"{work}/files"], env=env, stdout=subprocess.DEVNULL,
                                      stderr=open(err, "w")))
    wait_for("serve listens", lambda: "listening on" in open(err).read())
    return processes[-1], open(err).read().split("listening on 127.0.0.1:")[1].split()[0]


try:
    serve, port = start("COM2")
    rm = pyvisa.ResourceManager("@py")
    resource = f"TCPIP::127.0.0.1::{port}::SOCKET"
    line = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=120000,
                            encoding="utf-8")

    version = subprocess.run([cli, "--version"], env=env, capture_output=True, text=True).stdout.split()[-1]
    idn = line.query("*IDN?").split(",")
    check("*IDN? model, serial, version", idn[1:], ["KT6100", "0", version])

    line.write('CONF:INFO:NO "SN1042";TYPE "X-1";OPER "Li Wei"')
    check("the number read back", line.query("CONF:INFO:NO?"), '"SN1042"')
    line.write('CONF:INFO:NO "' + "9" * 21 + '"')
    check("a number longer than its field", (line.query("SYST:ERR?").split(",")[0], line.query("CONF:INFO:NO?")),
          ("-222", '"SN1042"'))
    line.write('CONF:LIM "bench"')
    check("the limits read back", line.query("CONF:LIM?"), '"bench"')
    line.write("INIT:INP")
    check("*OPC? once the run has ended", line.query("*OPC?"), "1")
    check("the verdict", line.query("FETC:VERD?"), "PASS")
    urms = float(line.query('FETC:SCAL? "Urms"'))
    harmonics = [float(v) for v in line.query('FETC:ARR? "CurrentHarmonicPct"').split(",")]
    run = json.loads(line.query("FETC:RUN?"))
    line.write('MMEM:STOR "sn1042";:HCOP:FILE "sn1042"')
    check("no error so far", line.query("SYST:ERR?"), '0,"No error"')

    # The stored record, read back by the command line, holds the very figures fetched.
    shown = json.loads(subprocess.run([cli, "show", f"{work}/files/sn1042.dat", "--json"], env=env,
                                      capture_output=True, text=True).stdout)
    check("Urms fetched = Urms stored", urms, shown["figures"]["Urms"])
    check("harmonics fetched = stored", harmonics, shown["arrays"]["CurrentHarmonicPct"])
    check("the run's number", (run["kind"], run["test_info"]["no"], run["verdict"]["result"]),
          ("input", "SN1042", "PASS"))
    check("FETC:RUN? figures = stored", run["figures"], shown["figures"])
    pdf = subprocess.run(["pdftotext", f"{work}/files/sn1042.pdf", "-"], capture_output=True, text=True).stdout
    check("the report names the unit", "SN1042" in pdf, True)

    # Errors go to the queue with their standard codes; the connection stays.
    line.write("FOO:BAR")
    check("an unknown header", line.query("SYST:ERR?").split(",")[0], "-113")
    line.write("INIT:INP;INIT:OUTP")
    check("a run while one is under way", line.query("SYST:ERR?").split(",")[0], "-221")
    check("that run ends", line.query("*OPC?"), "1")
    line.write('MMEM:STOR "../outside"')
    check("a file outside the folder", line.query("SYST:ERR?").split(",")[0], "-200")
    check("nothing written outside", os.path.exists(f"{work}/outside.dat"), False)

    # Other limits fail the unit; a second connection may ask but not act.
    line.write('CONF:LIM "tight"')
    check("INIT and *OPC? on one line", line.query("INIT:INP;*OPC?"), "1")
    check("the failing verdict", line.query("FETC:VERD?"), "FAIL")
    other = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=20000)
    check("a second connection asks", other.query("FETC:VERD?"), "FAIL")
    other.write("INIT:INP")
    check("a second connection may not start", other.query("SYST:ERR?").split(",")[0], "-200")
    other.close()

    # A run aborted before it measured anything leaves no figures of the run before.
    check("an aborted run", line.query('INIT:INP;ABOR;*OPC?;FETC:VERD?;FETC:SCAL? "Urms"'), "1;INCOMPLETE;9.91E37")
    check("no figure to fetch", line.query("SYST:ERR?").split(",")[0], "-200")
    check("*RST clears", line.query('*RST;CONF:INFO:NO?;:FETC:VERD?'), '"";NONE')

    # A scan runs its type's sequence; its verdict is the sequence's.
    line.write('CONF:LIM "NONE";:INIT:SCAN "EB-236*SN7"')
    check("the scan ends", line.query("*OPC?"), "1")
    check("the scan's verdict", line.query("FETC:VERD?"), "PASS")
    check("its last run", json.loads(line.query("FETC:RUN?"))["kind"], "comp")

    # The analysis takes its envelope first; its record is an analysis file. The
    # type's profile has no rule for it: not applicable.
    check("the analysis", line.query('INIT:HF;*OPC?;FETC:VERD?;:MMEM:STOR "hf1";:SYST:ERR?'), '1;NA;0,"No error"')
    analysed = json.loads(line.query("FETC:RUN?"))
    shown = json.loads(subprocess.run([cli, "show", f"{work}/files/hf1.bdt", "--json"], env=env,
                                      capture_output=True, text=True).stdout)
    check("the analysis stored", (analysed["kind"], shown["kind"], shown["figures"]), ("hf", "hf", analysed["figures"]))

    check("a scan's worst run, not its last", line.query('INIT:SCAN "EB-9*SN9";*OPC?;FETC:VERD?'), "1;FAIL")
    check("its last run passed", json.loads(line.query("FETC:RUN?"))["verdict"]["result"], "PASS")

    # A flood of queries, a line over 4 KiB and bytes that are not text.
    line.write_raw(b"*IDN?\n" * 10000)
    answers = [line.read() for _ in range(10000)]
    check("10 000 queries answered", (len(answers), answers[-1].split(",")[1]), (10000, "KT6100"))
    line.write_raw(b"A" * 5000 + b"\n\xff\xfe\n")
    check("their errors", line.query("SYST:ERR?;:SYST:ERR?"), '-363,"Input buffer overrun";-101,"Invalid character"')
    line.close()

    # Every change a controller made is in the log, by its address.
    serve.send_signal(signal.SIGTERM)
    check("serve ends on SIGTERM", serve.wait(60), 0)
    logs = [os.path.join(d, f) for d, _, fs in os.walk(f"{work}/data") for f in fs if f.endswith(".db")]
    db = sqlite3.connect(logs[0])
    audit = [r[0] for r in db.execute("SELECT what FROM audit WHERE who LIKE '127.0.0.1:%' ORDER BY seq")]
    for what in ("remote: CONF:INFO:NO SN1042", "remote: CONF:LIM bench", "remote: INIT:INP",
                 "remote: MMEM:STOR sn1042", "remote: INIT:SCAN EB-236*SN7"):
        check(f"the audit trail has {what}", what in audit, True)
    runs = list(db.execute("SELECT kind, serial, verdict FROM runs ORDER BY seq"))
    check("the runs logged", runs, [(1, "SN1042", 1), (1, "SN1042", 1), (1, "SN1042", 2), (1, "SN7", 1),
                                    (3, "SN7", 1), (7, "SN7", 4), (6, "SN7", 4), (1, "SN9", 2),
                                    (2, "SN9", 1)])

    # A run that does not complete after one that passed: INCOMPLETE, and
    # none of the passing run's figures (the line goes in the comp test's
    # fifth block; the input test has three).
    serve, port = start("COM3", ["--vanish-at-block", "5"])
    line = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                            write_termination="\n", timeout=120000)
    check("a passing run", line.query('CONF:LIM "bench";:INIT:INP;*OPC?;FETC:VERD?'), "1;PASS")
    check("then a lost line", line.query('INIT:COMP;*OPC?;FETC:VERD?;FETC:SCAL? "Urms"'), "1;INCOMPLETE;9.91E37")
    line.close()
    # A scan cut short after a passing run: INCOMPLETE, never that run's PASS.
    serve, port = start("COM4", ["--vanish-at-block", "5"])
    line = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                            write_termination="\n", timeout=120000)
    check("a scan cut short", line.query('INIT:SCAN "EB-236*SN8";*OPC?;FETC:VERD?'), "1;INCOMPLETE")
    check("its last complete run", json.loads(line.query("FETC:RUN?"))["verdict"]["result"], "PASS")
    line.close()
finally:
    for p in processes:
        p.kill()

if failures:
    print("\n".join("FAIL: " + f for f in failures))
    print(open(f"{work}/serve-COM2.err").read()[-3000:])
    sys.exit(1)
print("ok")
