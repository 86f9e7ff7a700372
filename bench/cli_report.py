#!/usr/bin/env python3
"""Benchmark, asserts nothing: `tarvik-cli report` of 10,000, 100,000 and 700,000 rows (8 sensors read in
turn once a second each; 700,000 rows are a day), with failures and offset changes among them. Prints the
wall time, the peak resident memory and the page's size of each.
    bench/cli_report.py [BUILD_DIR]   (default build/host)"""

import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BUILD = Path(sys.argv[1] if len(sys.argv) > 1 else "build/host")
HEADER = "time,address,status,temperature,humidity,temp_offset,hum_offset,sensor_address,type,hw_version,sw_version\n"
SENSORS = 8
START = 1796605200  # 2026-12-07 01:00:00 UTC


def write_readings(path, rows):
    with path.open("w") as out:
        out.write(HEADER)
        for n in range(rows):
            second, address = divmod(n, SENSORS)
            address += 1
            stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(START + second)) + f".{address * 25:03d}Z"
            if (n * 7919) % 997 == 0:
                out.write(f"{stamp},{address},no-answer,,,,,,,,\n")
                continue
            offset = -1.5 if address == 3 and second > rows // SENSORS // 2 else 0.0
            temp = 21.0 + address / 2 + 2 * math.sin(second / 3600 + address) + offset
            hum = 45.0 + 5 * math.sin(second / 5000 + address)
            out.write(f"{stamp},{address},ok,{temp:.1f},{hum:.1f},{offset:.1f},0.0,{address},1,12,105\n")


def measure(readings, page):
    began = time.monotonic()
    process = subprocess.Popen([BUILD / "tarvik-cli", "report", readings, "-o", page])
    _, status, usage = os.wait4(process.pid, 0)
    return time.monotonic() - began, usage.ru_maxrss / 1024, os.waitstatus_to_exitcode(status)


with tempfile.TemporaryDirectory() as work:
    for rows in (10_000, 100_000, 700_000):
        readings, page = Path(work, f"{rows}.csv"), Path(work, f"{rows}.html")
        write_readings(readings, rows)
        seconds, peak_mib, status = measure(readings, page)
        print(f"{rows:>7} rows ({readings.stat().st_size / 2**20:.1f} MiB of CSV): {seconds:.2f} s, peak memory "
              f"{peak_mib:.1f} MiB, page {page.stat().st_size / 1024:.0f} KiB, exit {status}")
