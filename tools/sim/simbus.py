"""A tarvik-sim bus for Python scripts: started behind a link path, commanded through its control
socket, its frame log read back. Used by the run command and the end-to-end tests."""

import socket
import subprocess
import time
from pathlib import Path

SIM = Path(__file__).resolve().parents[2] / "build/host/tools/sim/tarvik-sim"


def fault_kinds():
    """The names of the faults the simulator injects, in its own order: the tests that enumerate faults
    take them from here, so a new kind finds every table that has no row for it."""
    listed = subprocess.run([SIM, "--list-faults"], check=True, capture_output=True, text=True).stdout
    return [line.split()[0] for line in listed.splitlines()]


class Bus:
    def __init__(self, link, logs, *options):
        """`options` are tarvik-sim's (e.g. "--sensor", "1:temp=25.0"); readings do not drift."""
        link, logs = Path(link), Path(logs)
        self.control, self.log = logs / f"{link.name}.sim.sock", logs / f"{link.name}.frames"
        self.log.unlink(missing_ok=True)
        self.process = subprocess.Popen([SIM, "--link", link, "--control", self.control, "--log", self.log,
                                         "--no-drift", *options], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        self.path = self.process.stdout.readline().decode().strip()
        deadline = time.monotonic() + 10
        while not (self.path and self.control.exists()):
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"tarvik-sim did not start behind {link}")
            time.sleep(0.02)

    def __call__(self, command):
        """Sends one control command; returns the reply's data."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            connection.settimeout(10)
            connection.connect(str(self.control))
            connection.sendall((command + "\n").encode())
            reply = connection.makefile().readline().strip()
        if not reply.startswith("ok"):
            raise RuntimeError(f"tarvik-sim refused {command!r}: {reply}")
        return reply[3:]

    def frames(self):
        """(time, direction, bytes) of every frame so far: "rx" from the master, "tx" from the simulator, or
        "rx-merged", "rx-collided", "tx-collided" for the frames the strict line spoilt."""
        lines = [line.split() for line in self.log.read_text().splitlines()] if self.log.exists() else []
        return [(float(t), d, bytes(int(o, 16) for o in octets)) for t, d, *octets in lines]

    def wire(self, direction=None):
        """(direction, bytes) of every frame, or the bytes of the frames of one direction."""
        return [(d, f) if direction is None else f for _, d, f in self.frames() if direction in (None, d)]

    def wait_requests(self, count, ceiling=20.0):
        """Polls closely, so a caller can act while the last request's answer is still awaited."""
        deadline = time.monotonic() + ceiling
        while len(sent := self.wire("rx")) < count:
            if time.monotonic() > deadline:
                raise TimeoutError(f"{count} requests on the wire: not within {ceiling:g} s, saw {len(sent)}")
            time.sleep(0.005)
        return sent

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
