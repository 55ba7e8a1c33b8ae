"""Reads a Schedule bar hosted by ctlhost through at-spi, as a screen reader
does: its role, name and value, and a value change as it is announced.

Usage: check.py CTLHOST (with DISPLAY and the accessibility bus running)."""

import json
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

TIMEOUT = 20


class Host:
    """ctlhost with one Schedule bar, driven with its JSON commands."""

    def __init__(self, ctlhost):
        self.process = subprocess.Popen([ctlhost, "Schedule"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)

    def command(self, *args):
        self.process.stdin.write(json.dumps(args) + "\n")
        self.process.stdin.flush()
        while True:
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError("ctlhost ended")
            answer = json.loads(line)
            if "ok" in answer:
                if not answer["ok"]:
                    raise RuntimeError(f"{args}: {answer}")
                return answer

    def close(self):
        self.process.stdin.close()
        self.process.wait(TIMEOUT)


def pump_until(condition, timeout=TIMEOUT):
    """Runs at-spi's event loop until condition() holds or timeout seconds pass."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        result = condition()
        if result:
            return result
        # Wake on the next event, or shortly after for what is read by polling over D-Bus.
        GLib.timeout_add(20, lambda: False)
        context.iteration(True)
    return None


def find_bar(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            found = pyatspi.findDescendant(app, lambda a: a.getRole() == pyatspi.ROLE_PROGRESS_BAR)
            if found is not None:
                return found
    return None


def check(label, actual, expected):
    if actual != expected:
        print(f"FAIL: {label}: {actual!r}, expected {expected!r}")
        sys.exit(1)
    print(f"ok: {label}: {actual!r}")


def main():
    host = Host(sys.argv[1])
    try:
        host.command("load", {"Max": 200, "ShowText": True, "Text": "a.bin", "ShowPercent": True,
                              "Doevent": False})
        host.command("set", "Value", 50)
        host.command("show")
        bar = pump_until(lambda: find_bar(host.process.pid))
        if bar is None:
            print("FAIL: no progress bar in ctlhost's accessibility tree")
            sys.exit(1)
        check("name", bar.name, "a.bin")
        value = bar.queryValue()
        check("value", (value.minimumValue, value.currentValue, value.maximumValue), (0.0, 50.0, 200.0))
        check("children", bar.childCount, 0)

        changes = []
        pyatspi.Registry.registerEventListener(
            lambda event: changes.append(event.source.queryValue().currentValue)
            if event.source.getRole() == pyatspi.ROLE_PROGRESS_BAR else None,
            "object:property-change:accessible-value")
        # The registry tells the program of a new listener in its own time:
        # changes made before that are not announced, so change until one is.
        value = 150
        deadline = time.monotonic() + TIMEOUT
        while True:
            host.command("set", "Value", value)
            if pump_until(lambda: float(value) in changes, 0.5) or time.monotonic() > deadline:
                break
            value += 1
        check("announced value", changes[-1] if changes else None, float(value))
        check("value read after", bar.queryValue().currentValue, float(value))
    finally:
        host.close()


main()
