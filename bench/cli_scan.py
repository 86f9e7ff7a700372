#!/usr/bin/env python3
"""Benchmark, asserts nothing: `tarvik-cli scan` of 0-63 with 8 sensors on the simulated bus. From the
simulator's frame log, the time from each request to the next is what its address cost.
    bench/cli_scan.py [BUILD_DIR]   (default build/host)"""

import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BUILD = Path(sys.argv[1] if len(sys.argv) > 1 else "build/host")
PRESENT = (1, 2, 9, 17, 25, 33, 47, 63)
BYTE_MS = 10 / 9.6  # 8N1 at 9600 baud
FLOOR_MS = (8 + 21) * BYTE_MS
TURNAROUND_MS = 3  # the simulator's default pause before a reply

with tempfile.TemporaryDirectory() as work:
    log, port = Path(work, "frames.log"), str(Path(work, "bus"))
    sensors = [arg for a in PRESENT for arg in ("--sensor", str(a))]
    sim = subprocess.Popen([BUILD / "tools/sim/tarvik-sim", *sensors, "--link", port, "--log", str(log)],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    began = time.monotonic()
    scan = subprocess.run([BUILD / "tarvik-cli", "scan", port], capture_output=True, text=True)
    total = time.monotonic() - began
    sim.terminate()
    sim.wait()
    requests = [(float(t), int(rest.split()[0], 16)) for t, d, rest in
                (line.split(" ", 2) for line in log.read_text().splitlines()) if d == "rx"]

costs = {True: [], False: []}
for (at, address), (following, _) in zip(requests, requests[1:]):
    costs[address in PRESENT].append((following - at) * 1000)
print(f"scan 0-63, {len(PRESENT)} sensors present: {total:.2f} s in all, exit {scan.returncode}, "
      f"{len(scan.stdout.splitlines())} found")
print(f"wire floor per present address (8-byte request + 21-byte reply at 9600 8N1): {FLOOR_MS:.1f} ms; "
      f"on the pseudo-terminal, which does not pace the request: {21 * BYTE_MS + TURNAROUND_MS:.1f} ms")
for present, label in ((True, "present"), (False, "absent")):
    ms = costs[present]
    print(f"per {label} address ({len(ms)} measured): mean {statistics.mean(ms):.1f} ms, "
          f"min {min(ms):.1f} ms, max {max(ms):.1f} ms")
