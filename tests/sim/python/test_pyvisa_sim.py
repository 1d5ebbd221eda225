#!/usr/bin/env python3
"""An independent VISA client (pyvisa with the pyvisa-py backend) drives marlin-sim through
TCPIP0::127.0.0.1::<port>::SOCKET: identification, error queue, a band switch and its
confirmation. Usage: test_pyvisa_sim.py <path of marlin-sim>. Exit 77 when pyvisa is missing."""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77

try:
    import pyvisa
    import pyvisa_py  # noqa: F401  (the pure-Python backend behind "@py")
except ImportError as missing:
    print(f"SKIP: pyvisa with pyvisa-py is not importable ({missing})")
    sys.exit(SKIP)

BAND_SWITCH_MS = 1500
LISTENING = re.compile(r"listening on 127\.0\.0\.1:(\d+)")


def start_simulator(executable, transcript):
    sim = subprocess.Popen(
        [executable, "--port", "0", "--serial", "PV1", "--firmware", "2.20", "--power", "on",
         "--band-switch-ms", str(BAND_SWITCH_MS), "--transcript", transcript],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    match = LISTENING.search(line)
    if not match:
        sim.kill()
        raise AssertionError(f"marlin-sim did not report its port: {line!r} {sim.stderr.read()}")
    return sim, int(match.group(1))


def expect(actual, wanted, what):
    if actual != wanted:
        raise AssertionError(f"{what}: expected {wanted!r}, got {actual!r}")


def drive(port):
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET", read_termination="\n",
                            write_termination="\r\n", timeout=5000)
    try:
        expect(inst.query("*IDN?"), "Quellmarkfabrik,PA4400,PV1,SW:2.20", "identification")

        inst.write("BOGUS:HEADER")
        inst.write("RF:OUTP:STAT ON")  # no band path yet
        expect(inst.query("SYST:ERR?"), '-113,"Undefined header;BOGUS:HEADER"', "first entry")
        expect(inst.query("SYST:ERR?"), '-221,"Settings conflict;no band path selected"',
               "second entry")
        expect(inst.query("SYST:ERR?"), '0,"No error"', "emptied queue")
        inst.write("BOGUS:HEADER")
        inst.write("*CLS")
        expect(inst.query("SYST:ERR?"), '0,"No error"', "queue after *CLS")

        started = time.monotonic()
        inst.write("RF:BAND:PATH 3")
        expect(inst.query("RF:BAND:PATH?"), "0", "band path while switching")
        answer = "0"
        while answer != "3" and time.monotonic() - started < 10:
            time.sleep(0.1)
            answer = inst.query("RF:BAND:PATH?")
        elapsed = time.monotonic() - started
        expect(answer, "3", "band path after switching")
        if elapsed < BAND_SWITCH_MS / 1000 * 0.9:
            raise AssertionError(f"band path arrived after {elapsed:.2f} s, before its time")
        expect(inst.query("SYST:ERR?"), '0,"No error"', "queue after the switch")
    finally:
        inst.close()
        rm.close()


def main():
    executable = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        transcript = os.path.join(folder, "transcript.jsonl")
        sim, port = start_simulator(executable, transcript)
        try:
            drive(port)
        finally:
            sim.send_signal(signal.SIGINT)
            try:
                code = sim.wait(timeout=10)
            except subprocess.TimeoutExpired:
                sim.kill()
                raise AssertionError("marlin-sim did not end on Ctrl-C")
        expect(code, 0, "marlin-sim exit code after Ctrl-C")
        with open(transcript, encoding="utf-8") as lines:
            entries = [json.loads(line) for line in lines]
        received = [e["text"] for e in entries if e["dir"] == "in"]
        if "RF:BAND:PATH 3" not in received:
            raise AssertionError(f"transcript lacks the band command: {received}")
    print("pyvisa drove marlin-sim: identification, error queue, band switch confirmed")


if __name__ == "__main__":
    main()
