#!/usr/bin/env python3
"""The panel's memory while pages watch amplifiers switch.

Starts DEVICES marlin-sim processes and a marlinctl panel in front of them. Each of TABS pages
keeps the event stream open and fetches /api/timeline every 300 ms, as the page does while
events arrive; each amplifier is switched between Operate and Standby without pause. Every 30 s
it prints the panel's resident memory; at the end its peak, the renders served and the switches
made. Exits 1 when the peak exceeds LIMIT MB.

    python3 scripts/panel_soak.py BUILD_DIR [--minutes 10] [--tabs 8] [--devices 4]
                                  [--time-scale 1] [--limit-mb 64]

--time-scale runs the amplifiers' and the panel's clocks faster, so a switch takes less real
time and the session's trace grows that much faster; the pages still fetch every 300 ms of real
time.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request


def start_sim(build, folder, index, scale):
    process = subprocess.Popen(
        [os.path.join(build, "sim", "marlin-sim"), "--port", "0", "--time-scale", str(scale),
         "--model", "PA4415", "--power", "on", "--gateway-port", "0",
         "--transcript", os.path.join(folder, f"sim{index}.jsonl")],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = 0
    for line in process.stdout:
        if " listening on " in line and "GPIB gateway" not in line and port == 0:
            port = int(line.rsplit(":", 1)[1])
        if "ready" in line:
            break
    if port == 0:
        sys.exit("marlin-sim did not start")
    return process, port


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status if ":" in line)
    return int(fields["VmRSS"].split()[0]) / 1024, int(fields["VmHWM"].split()[0]) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--tabs", type=int, default=8)
    parser.add_argument("--devices", type=int, default=4)
    parser.add_argument("--time-scale", type=float, default=1)
    parser.add_argument("--limit-mb", type=float, default=64)
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="panel-soak-")
    sims = [start_sim(args.build, folder, i, args.time_scale) for i in range(args.devices)]
    names = [f"AMP{i + 1}" for i in range(args.devices)]
    with open(os.path.join(folder, "devices.toml"), "w") as devices:
        for name, (_, port) in zip(names, sims):
            devices.write(f'[devices.{name}]\ninterface = 50\n'
                          f'lan_address = "127.0.0.1:{port}"\n')
    panel = subprocess.Popen(
        [os.path.join(args.build, "app", "marlinctl"), "panel", "--devices",
         os.path.join(folder, "devices.toml"), "--port", "0", "--time-scale",
         str(args.time_scale)],
        stdout=subprocess.PIPE, text=True)
    url = panel.stdout.readline().strip().split(" ", 2)[2]
    print(f"panel {panel.pid} at {url}", flush=True)
    base, token = url.split("/?token=")
    headers = {"X-Marlin-Token": token}
    stop = threading.Event()
    counts = {"renders": 0, "switches": 0, "failures": 0}
    lock = threading.Lock()

    def count(key):
        with lock:
            counts[key] += 1

    def request(path, body=None, timeout=120):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(base + path, data=data, headers=headers,
                                     method="GET" if body is None else "POST")
        with urllib.request.urlopen(req, timeout=timeout) as answer:
            return answer.read()

    def page():
        events = urllib.request.urlopen(f"{base}/api/events?token={token}", timeout=600)
        while not stop.is_set():
            try:
                request("/api/timeline")
                count("renders")
            except (urllib.error.URLError, OSError):
                count("failures")
            time.sleep(0.3)
        events.close()

    def amplifier(name):
        request(f"/api/devices/{name}/connect", {})
        state = 3
        while not stop.is_set():
            try:
                request(f"/api/devices/{name}/state",
                        {"state": state, "bandpath": 2, "outputmode": 0, "operatingclass": 0})
                count("switches")
            except (urllib.error.URLError, OSError):
                count("failures")
                time.sleep(0.5)
            state = 2 if state == 3 else 3

    threads = [threading.Thread(target=page) for _ in range(args.tabs)]
    threads += [threading.Thread(target=amplifier, args=(name,)) for name in names]
    for thread in threads:
        thread.start()
    started = time.time()
    peak = 0.0
    try:
        while time.time() - started < args.minutes * 60:
            time.sleep(min(30, max(0.1, args.minutes * 60 - (time.time() - started))))
            rss, hwm = rss_mb(panel.pid)
            peak = max(peak, hwm)
            print(f"{time.time() - started:6.0f} s  RSS {rss:6.1f} MB  peak {hwm:6.1f} MB  "
                  f"renders {counts['renders']}  switches {counts['switches']}  "
                  f"failures {counts['failures']}", flush=True)
    finally:
        stop.set()
        for thread in threads:
            thread.join(timeout=150)
        panel.terminate()
        panel.wait(timeout=60)
        for process, _ in sims:
            process.communicate("quit\n", timeout=20)
    print(f"peak RSS {peak:.1f} MB (limit {args.limit_mb} MB) over {args.minutes} min, "
          f"{args.tabs} pages, {args.devices} amplifiers, time scale {args.time_scale}: "
          f"{counts['renders']} timeline renders, {counts['switches']} switches, "
          f"{counts['failures']} failed requests")
    return 0 if peak <= args.limit_mb else 1


if __name__ == "__main__":
    sys.exit(main())
