"""The package against the simulator in process, over loopback on every route."""
import os
import re
import signal
import threading

import pytest

import marlin
from conftest import SCALE, eventually, trace_records

ROUTES = ["lan", "visa", "gpib"]


@pytest.mark.parametrize("route", ROUTES)
def test_switches_and_reads_back_on_every_route(lab, route, tmp_path):
    sim, devices = lab(route)
    waits = []
    trace = tmp_path / "trace.jsonl"
    with marlin.Amplifier("AMP1", devices=devices, trace=trace, time_scale=SCALE,
                          on_wait=lambda *wait: waits.append(wait)) as amp:
        amp.connect()
        assert sim.clients() == 1
        identity = amp.identify()
        assert identity[1:] == ("100001", 2.2, "PA4415")
        assert "PA4415" in identity.identification and "SW:2.20" in identity.identification
        amp.set_state(marlin.State.OPERATE, band=2, operating_class=1)
        assert amp.state() is marlin.State.OPERATE
        assert amp.errors() == []
        amp.set_state(marlin.State.STANDBY)
        # A recognised model reads RF off back as Off.
        assert amp.state() is marlin.State.OFF
    # Each wait reported with the limit of the driver's wait table, never beyond it.
    assert ("waiting for Operate to be confirmed" in what for what, _, _ in waits)
    assert all(limit is None or 0 <= elapsed <= limit for _, elapsed, limit in waits)
    assert any(limit is not None for _, _, limit in waits)
    assert {r.get("device") for r in trace_records(trace)} == {"AMP1"}
    assert eventually(lambda: sim.clients() == 0)  # leaving the block closed everything


def test_a_latched_fault_is_read_back_listed_and_reset(lab):
    # On VISA the connection check sends no "*CLS", which would clear the fault.
    _, devices = lab("visa", faults=["fault=-310:Overtemperature"])
    with marlin.Amplifier("AMP1", devices=devices, time_scale=SCALE) as amp:
        amp.connect()
        assert amp.state() is marlin.State.FAULT
        assert amp.errors() == ['-310,"Overtemperature"']  # it repeats until reset
        amp.reset_fault()
        assert amp.state() is marlin.State.OFF


@pytest.mark.parametrize("route", ROUTES)
def test_driver_errors_carry_number_and_description(lab, route):
    _, devices = lab(route, faults=["lock=LOC"])
    with marlin.Amplifier("AMP1", devices=devices, time_scale=SCALE) as amp:
        amp.connect()
        with pytest.raises(marlin.DriverError) as raised:
            amp.set_state(marlin.State.OPERATE, band=3)
        assert raised.value.number == 4081
        assert "AMP1 amplifier is not in REMOTE mode" in raised.value.description
        assert str(raised.value).startswith("4081: ")


def test_unknown_device_is_the_driver_error_of_naming(lab):
    _, devices = lab()
    with pytest.raises(marlin.DriverError) as raised:
        marlin.Amplifier("NOSUCH", devices=devices)
    assert raised.value.number == 5302
    assert "NOSUCH" in raised.value.description


def test_connection_failures_and_calls_without_one(lab):
    sim, devices = lab()
    with marlin.Amplifier("AMP1", devices=devices, time_scale=SCALE) as amp:
        for call in (amp.state, amp.identify, amp.errors, amp.reset_fault, amp.initialize,
                     lambda: amp.set_state(marlin.State.ON)):
            with pytest.raises(marlin.NotConnected, match="AMP1 is not connected"):
                call()
        sim.close()
        with pytest.raises(marlin.NotConnected) as raised:
            amp.connect()
        assert raised.value.number == 4040
        assert re.match(r"not connected over LAN 127\.0\.0\.1:\d+: ", raised.value.description)
    with pytest.raises(marlin.DriverError, match="closed"):
        amp.state()


@pytest.mark.parametrize("make, error", [
    (lambda amp: amp.set_state("3"), TypeError),
    (lambda amp: amp.set_state(True), TypeError),
    (lambda amp: amp.set_state(marlin.State.FAULT), ValueError),
    (lambda amp: amp.set_state(7), ValueError),
    (lambda amp: amp.set_state(marlin.State.OPERATE, band=0), ValueError),
    (lambda amp: amp.set_state(marlin.State.OPERATE, band=2**31), ValueError),
    (lambda amp: amp.set_state(marlin.State.OPERATE, band=2.0), TypeError),
    (lambda amp: amp.set_state(marlin.State.OPERATE, mode=-1), ValueError),
    (lambda amp: amp.errors(most=0), ValueError),
    (lambda amp: setattr(amp, "on_wait", 5), TypeError),
])
def test_bad_arguments_are_refused_before_anything_is_sent(lab, make, error):
    _, devices = lab()
    with marlin.Amplifier("AMP1", devices=devices, time_scale=SCALE) as amp:
        with pytest.raises(error):
            make(amp)


@pytest.mark.parametrize("make, error", [
    (lambda d: marlin.Amplifier(5, devices=d), TypeError),
    (lambda d: marlin.Amplifier("", devices=d), ValueError),
    (lambda d: marlin.Amplifier("AMP1", devices=5), TypeError),
    (lambda d: marlin.Amplifier("AMP1", devices=d, time_scale=0), ValueError),
    (lambda d: marlin.Amplifier("AMP1", devices=d, time_scale="10"), TypeError),
    (lambda d: marlin.Simulator(route="serial"), ValueError),
    (lambda d: marlin.Simulator(model="PA9999"), ValueError),
    (lambda d: marlin.Simulator(faults="silent"), TypeError),
    (lambda d: marlin.Simulator(faults=["no-such-fault"]), ValueError),
    (lambda d: marlin.Simulator(time_scale=float("nan")), ValueError),
])
def test_bad_constructor_arguments(lab, make, error):
    _, devices = lab()
    with pytest.raises(error):
        make(devices)


@pytest.mark.parametrize("route", ROUTES)
def test_ctrl_c_ends_a_switch_at_the_next_wait(lab, route, tmp_path):
    _, devices = lab(route)
    trace = tmp_path / "trace.jsonl"
    # The driver slower than the simulator: the switch is still under way at its first wait.
    with marlin.Amplifier("AMP1", devices=devices, trace=trace, time_scale=10) as amp:
        amp.connect()
        amp.on_wait = lambda *wait: os.kill(os.getpid(), signal.SIGINT)
        with pytest.raises(KeyboardInterrupt):
            amp.set_state(marlin.State.OPERATE, band=2)
        amp.on_wait = None
        # The stop travelled up through the driver's handlers, the switch was not finished, and
        # the link answers in step: a switch after it reads back what it asked for.
        reported = [r["report"] for r in trace_records(trace) if "report" in r]
        assert reported and all(r["number"] == 18 for r in reported)
        assert amp.state() is not marlin.State.OPERATE
        amp.set_state(marlin.State.OPERATE, band=2)
        assert amp.state() is marlin.State.OPERATE
        assert amp.errors() == []


def test_a_raising_callback_stops_the_call_the_same_way(lab):
    _, devices = lab()

    def refuse(what, elapsed, limit):
        raise RuntimeError("enough")

    with marlin.Amplifier("AMP1", devices=devices, time_scale=10, on_wait=refuse) as amp:
        amp.connect()
        with pytest.raises(RuntimeError, match="enough"):
            amp.set_state(marlin.State.OPERATE, band=2)
        amp.on_wait = None
        assert amp.state() is not marlin.State.OPERATE


def test_amplifiers_on_several_threads_keep_their_own_lists(lab):
    # Each list names one amplifier only, and the GPIB one's services (its board) are made at
    # its first connection, after the other amplifier was set up.
    routes = {"AMP_GPIB": "gpib", "AMP_LAN": "lan"}
    amps = {name: marlin.Amplifier(name, devices=lab(route, name=name)[1], time_scale=SCALE)
            for name, route in routes.items()}
    reached = {}

    def switch(name):
        amps[name].connect()
        amps[name].set_state(marlin.State.OPERATE, band=1)
        reached[name] = amps[name].state()

    threads = [threading.Thread(target=switch, args=(name,)) for name in routes]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for amp in amps.values():
        amp.close()
    assert reached == {name: marlin.State.OPERATE for name in routes}
