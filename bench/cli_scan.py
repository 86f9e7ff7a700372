#!/usr/bin/env python3
"""Benchmark, asserts nothing: `tarvik-cli scan` of 0-63 with 1, 8 and 64 sensors present on the simulated
bus. From the simulator's frame log, the time from each request to the next is what its address cost;
a present address is set against the real wire's floor at 9600 8N1: the 8-byte request, the 21-byte
reply and the 3.5 characters of silence before each.
    bench/cli_scan.py [BUILD_DIR]   (default build/host)"""

import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BUILD = Path(sys.argv[1] if len(sys.argv) > 1 else "build/host")
BYTE_MS = 10 / 9.6  # 8N1 at 9600 baud
FLOOR_MS = (8 + 21 + 2 * 3.5) * BYTE_MS
PRESENT = {1: (1,), 8: (1, 2, 9, 17, 25, 33, 47, 63), 64: tuple(range(64))}


def scan(present):
    with tempfile.TemporaryDirectory() as work:
        log, port = Path(work, "frames.log"), str(Path(work, "bus"))
        sensors = [arg for a in present for arg in ("--sensor", str(a))]
        sim = subprocess.Popen([BUILD / "tools/sim/tarvik-sim", *sensors, "--link", port, "--log", str(log)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        sim.stdout.readline()
        began = time.monotonic()
        result = subprocess.run([BUILD / "tarvik-cli", "scan", port], capture_output=True, text=True,
                                env={"TARVIK_ROOT": work})
        total = time.monotonic() - began
        sim.terminate()
        sim.wait()
        sim.stdout.close()
        frames = [line.split(" ", 2) for line in log.read_text().splitlines()]
    requests = [(float(t), d, int(rest.split()[0], 16)) for t, d, rest in frames if d.startswith("rx")]
    costs = {True: [], False: []}
    for (at, _, address), (following, _, _) in zip(requests, requests[1:]):
        costs[address in present].append((following - at) * 1000)
    merged = sum(d != "rx" for _, d, _ in requests)
    print(f"scan 0-63, {len(present)} present: {total:.2f} s in all, exit {result.returncode}, "
          f"{len(result.stdout.splitlines())} found, {merged} requests merged or collided")
    for is_present, label in ((True, "present"), (False, "absent")):
        ms = costs[is_present]
        if ms:
            ratio = f", {statistics.mean(ms) / FLOOR_MS:.3f} x the floor" if is_present else ""
            print(f"  per {label} address ({len(ms)} measured): mean {statistics.mean(ms):.1f} ms, "
                  f"min {min(ms):.1f}, max {max(ms):.1f}{ratio}")


print(f"wire floor per present address (8 + 21 bytes and two 3.5-character gaps at 9600 8N1): {FLOOR_MS:.1f} ms; "
      "the pseudo-terminal does not pace the request, so a present address can cost less than the floor")
for count in sorted(PRESENT):
    scan(PRESENT[count])
