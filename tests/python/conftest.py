import json
import pathlib
import time

import pytest

import marlin

# The simulator and the driver both run this many times faster than real time.
SCALE = 50


@pytest.fixture
def lab(tmp_path):
    """Starts simulators and writes device lists naming them; closes them at the end."""
    started = []

    def start(route="lan", model="PA4415", faults=(), name="AMP1"):
        sim = marlin.Simulator(model=model, route=route, time_scale=SCALE, faults=faults)
        started.append(sim)
        devices = tmp_path / f"{name}.toml"
        devices.write_text(sim.device_entry(name))
        return sim, devices

    yield start
    for sim in started:
        sim.close()


def trace_records(path):
    return [json.loads(line) for line in pathlib.Path(path).read_text().splitlines()]


def eventually(predicate, seconds=2.0):
    """Whether `predicate` holds within `seconds`: the simulator notices a close on its own thread."""
    deadline = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.005)
    return True
