#!/usr/bin/env python3
"""Takes the guide's picture of a report page: a readings file of a made-up two-hour commissioning run
(four sensors; one warming up, another losing reads for ten minutes and given an offset halfway), the
page tarvik-cli makes of it in China's time zone, and headless Chromium's picture of its top, without
metadata, so the same program gives the same file. Usage: report-screenshot.py OUT.png [TARVIK_CLI]"""

import math
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
HEADER = "time,address,status,temperature,humidity,temp_offset,hum_offset,sensor_address,type,hw_version,sw_version\n"
START = 1796605200  # 2026-12-07 09:00 in Beijing
SECONDS, SENSORS = 7200, (1, 2, 5, 6)


def reading(address, second):
    """(status, temperature, humidity, temperature offset) of one read."""
    if address == 1 and 2400 <= second < 3000:
        return "no-answer", None, None, None
    offset = -0.8 if address == 1 and second >= SECONDS // 2 else 0.0
    warming = 3.0 * (1 - math.exp(-second / 2400)) if address == 6 else 0.0
    temperature = 22.0 + address * 0.3 + warming + 0.15 * math.sin(second / 600 + address) + offset
    humidity = 48.0 - address + 1.2 * math.sin(second / 1500 + address)
    return "ok", temperature, humidity, offset


def readings():
    lines = [HEADER]
    for second in range(0, SECONDS, 10):
        for n, address in enumerate(SENSORS):
            stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(START + second)) + f".{n * 30:03d}Z"
            status, temperature, humidity, offset = reading(address, second)
            if status != "ok":
                lines.append(f"{stamp},{address},{status},,,,,,,,\n")
            else:
                lines.append(f"{stamp},{address},ok,{temperature:.1f},{humidity:.1f},{offset:.1f},0.0,{address},1,12,105\n")
    return "".join(lines)


def main(out, cli):
    with tempfile.TemporaryDirectory() as work:
        source, page = Path(work, "readings.csv"), Path(work, "report.html")
        source.write_text(readings())
        subprocess.run([cli, "report", source.name, "-o", page], cwd=work, check=True, env={"TZ": "Asia/Shanghai"})
        shot = Path(work, "report.png")
        subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync",
                        f"--user-data-dir={work}/profile", "--hide-scrollbars", "--window-size=800,1240",
                        f"--screenshot={shot}", page.as_uri()], check=True, capture_output=True)
        subprocess.run(["/usr/bin/convert", shot, "-strip", out], check=True)


if __name__ == "__main__":
    main(Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve() if len(sys.argv) > 2 else REPO / "build/host/tarvik-cli")
