"""Marlin from Python: the amplifier driver and its simulator.

    sim = marlin.Simulator(model="PA4415", route="lan", time_scale=10)
    with marlin.Amplifier("AMP1", devices=path, time_scale=10) as amp:
        amp.connect()
        amp.set_state(marlin.State.OPERATE, band=2)

Calls that wait for the amplifier let other Python threads run, report each wait to
`on_wait(what, elapsed, limit)` (seconds; limit None where the driver has none), and end at the
driver's next wait on Ctrl-C: the driver's own error handling runs, then KeyboardInterrupt is
raised. A failure of the driver raises DriverError with its number and description.
"""

import collections
import enum
import math
import numbers
import os

from . import _native

__all__ = ["Amplifier", "DriverError", "Identification", "NotConnected", "Simulator", "State"]

_INT32_MAX = 2**31 - 1
_POLL_SECONDS = 0.02
_MOST_ERRORS = 10


class State(enum.IntEnum):
    """The amplifier's power states, as the driver codes them."""

    OFF = 0
    ON = 1
    STANDBY = 2
    OPERATE = 3
    FAULT = 4


class DriverError(Exception):
    """An error the driver raised: its number and description."""

    def __init__(self, number, description):
        super().__init__(number, description)
        self.number = number
        self.description = description

    def __str__(self):
        return f"{self.number}: {self.description}"


class NotConnected(DriverError):
    """The amplifier was not reached or not accepted (the host's reason), or a call needs a
    connection: number 4040, as the driver's transport raises for a lost link."""


Identification = collections.namedtuple("Identification", "identification serial firmware model")
Identification.__doc__ = "What the connection read: answer, serial, firmware version and model."


def _path_or_none(value, what):
    if value is None:
        return None
    if not isinstance(value, (str, os.PathLike)):
        raise TypeError(f"{what} must be a path (str or os.PathLike), not {type(value).__name__}")
    path = os.fspath(value)
    if not isinstance(path, str):
        raise TypeError(f"{what} must be a text path, not bytes")
    if not path:
        raise ValueError(f"{what} must not be empty")
    return path


def _time_scale(value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"time_scale must be a number, not {type(value).__name__}")
    if not (math.isfinite(value) and value > 0):
        raise ValueError(f"time_scale must be a positive number, not {value!r}")
    return float(value)


def _whole(value, what, lowest):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be a whole number, not {type(value).__name__}")
    if not lowest <= value <= _INT32_MAX:
        raise ValueError(f"{what} must be from {lowest} to {_INT32_MAX}, not {value}")
    return int(value)


def _text(value, what):
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    if not value:
        raise ValueError(f"{what} must not be empty")
    return value


def _raise_failure(failure):
    kind, number, description = failure.args
    raise (NotConnected if kind == "not-connected" else DriverError)(number, description) from None


class Simulator:
    """A simulated amplifier in this process, listening on loopback on one route.

    route: "lan", "visa" or "gpib" (a GPIB gateway). faults: the simulator's fault
    specifications, e.g. ["lock=LOC"] or ["band-stuck"].
    """

    def __init__(self, model="PA4415", route="lan", time_scale=10, faults=()):
        model = _text(model, "model")
        route = _text(route, "route")
        if isinstance(faults, str) or not all(isinstance(f, str) for f in faults):
            raise TypeError("faults must be a sequence of str")
        self.model = model
        self.route = route
        self._native = _native.Simulator(model, route, list(faults), _time_scale(time_scale))

    def device_entry(self, name):
        """The device-list text (TOML) that names this amplifier `name`."""
        return self._native.device_entry(_text(name, "name"), f"Simulated {self.model}")

    def clients(self):
        """How many connections the simulator holds open."""
        return self._native.clients()

    def close(self):
        """Stops the simulator; connections to it are closed."""
        self._native.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<marlin.Simulator {self._native.listening()}>"


class Amplifier:
    """One amplifier of the device list, driven on a thread of its own.

    devices: the device list (TOML); None takes $MARLIN_DEVICES, else the per-user default.
    trace: a JSON Lines trace file to write, or None. time_scale: the driver's waits run this
    many times faster (for simulators that run faster too).
    """

    def __init__(self, name, devices=None, trace=None, time_scale=1.0, on_wait=None):
        self.name = _text(name, "name")
        self.on_wait = on_wait
        devices = _path_or_none(devices, "devices")
        trace = _path_or_none(trace, "trace") or ""
        try:
            self._native = _native.Session(self.name, devices, trace, _time_scale(time_scale))
        except _native.Failure as failure:
            _raise_failure(failure)

    @property
    def on_wait(self):
        return self._on_wait

    @on_wait.setter
    def on_wait(self, callback):
        if callback is not None and not callable(callback):
            raise TypeError("on_wait must be callable or None")
        self._on_wait = callback

    def connect(self):
        """Connects and identifies; raises NotConnected with the host's reason on failure."""
        self._call(self._native.connect)

    def disconnect(self):
        self._call(self._native.disconnect)

    def identify(self):
        """What the connection's identification read, as an Identification."""
        return Identification(*self._call(self._native.identify))

    def state(self):
        """The state read back from the amplifier."""
        return State(self._call(self._native.state))

    def set_state(self, state, band=None, mode=0, operating_class=0):
        """Switches to OFF, ON, STANDBY or OPERATE.

        band, mode, operating_class: the band path to select, its output mode and operating
        class. With none of them given (band None, mode and class 0) those given before hold.
        """
        if isinstance(state, bool) or not isinstance(state, numbers.Integral):
            raise TypeError(f"state must be a marlin.State, not {type(state).__name__}")
        if state not in (State.OFF, State.ON, State.STANDBY, State.OPERATE):
            raise ValueError(f"state must be OFF, ON, STANDBY or OPERATE, not {state!r}")
        band = None if band is None else _whole(band, "band", 1)
        mode = _whole(mode, "mode", 0)
        operating_class = _whole(operating_class, "operating_class", 0)
        self._call(lambda: self._native.set_state(int(state), band, mode, operating_class))

    def reset_fault(self):
        self._call(self._native.reset_fault)

    def initialize(self):
        self._call(self._native.initialize)

    def errors(self, most=_MOST_ERRORS):
        """The error queue's entries, oldest first, until it is empty or an entry repeats."""
        return self._call(lambda: self._native.errors(_whole(most, "most", 1)))

    def close(self):
        """Disconnects and ends the amplifier's thread; the object is then unusable."""
        self._native.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<marlin.Amplifier {self.name!r}>"

    def _call(self, start):
        try:
            pending = start()
        except _native.Failure as failure:
            _raise_failure(failure)
        try:
            while not pending.wait(_POLL_SECONDS):
                self._report(pending)
            self._report(pending)
        except BaseException:
            # Ctrl-C or a callback that raised: the driver ends at its next wait, then the
            # caller sees what stopped it.
            pending.stop()
            self._finish(pending)
            raise
        try:
            return pending.outcome()
        except _native.Failure as failure:
            _raise_failure(failure)

    def _report(self, pending):
        for what, elapsed, limit in pending.wait_events():
            if self._on_wait is not None:
                self._on_wait(what, elapsed, limit)

    @staticmethod
    def _finish(pending):
        while True:
            try:
                if pending.wait(_POLL_SECONDS):
                    return
            except KeyboardInterrupt:
                continue  # a second Ctrl-C: the driver is ending already
