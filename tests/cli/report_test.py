"""A commissioning run end to end: tarvik-cli watches three sensors of tarvik-sim in two pieces appended
to one CSV, with the temperature offset of sensor 1 set between them (the port is held while a watch
runs), sensor 2 warming up, sensor 3 silent for a while and giving bad CRCs for a moment. Then `report`
makes the page, headless Chromium loads it, and its DOM is checked against figures this test works out
from the CSV on its own; the page, the CSV and a screenshot stay in OUT_DIR.
    report_test.py TARVIK_CLI TARVIK_SIM OUT_DIR"""

import csv
import re
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from decimal import ROUND_HALF_UP, Decimal
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools/sim"))
import simbus  # noqa: E402

CLI, simbus.SIM, OUT = sys.argv.pop(1), Path(sys.argv.pop(1)), Path(sys.argv.pop(1)).resolve()
CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync"]
ROUNDS, INTERVAL_MS = 30, 200  # one piece: 30 rounds of 3 reads, 0.6 s a round


def cells(html, row_class):
    """The cells of the table row of that class, by their second class: {"min": "21.0", ...}."""
    row = re.search(f'<tr class="{row_class}">(.*?)</tr>', html, re.S).group(1)
    return dict(re.findall(r'<td class="n (\w+)">([^<]*)</td>', row))


def figures(rows):
    """Per address, from the CSV alone: the figures the page's table shows."""
    result = {}
    for address in sorted({int(r["address"]) for r in rows}, key=int):
        mine = [r for r in rows if int(r["address"]) == address]
        ok = [r for r in mine if r["status"] == "ok"]
        last = max(ok, key=lambda r: r["time"])
        sensor = {"rows": str(len(mine)),
                  "success": f"{(Decimal(len(ok)) * 100 / len(mine)).quantize(Decimal('0.1'), ROUND_HALF_UP)}%",
                  "statuses": {s: str(sum(r["status"] == s for r in mine)) for s in {r["status"] for r in mine} - {"ok"}}}
        for column, key in (("temperature", "temp"), ("humidity", "hum")):
            values = [Decimal(r[column]) for r in ok]
            sensor[key] = {"last": last[column], "min": str(min(values)), "max": str(max(values)),
                           "mean": str((sum(values) / len(values)).quantize(Decimal("0.01"), ROUND_HALF_UP))}
        offsets = []
        for r in sorted(ok, key=lambda r: r["time"]):
            if not offsets or offsets[-1] != (r["temp_offset"], r["hum_offset"]):
                offsets.append((r["temp_offset"], r["hum_offset"]))
        sensor["offsets"] = offsets
        result[address] = sensor
    return result


class ReportOfACommissioningRun(unittest.TestCase):
    def test_watch_in_two_pieces_then_report_in_a_browser(self):
        OUT.mkdir(parents=True, exist_ok=True)
        readings, page, shot = OUT / "report-run.csv", OUT / "report.html", OUT / "report.png"
        with tempfile.TemporaryDirectory() as work:
            bus = simbus.Bus(Path(work, "bus"), work, "--sensor", "1:temp=23.5,hum=45.6", "--sensor", "2:temp=21.0,hum=50.0",
                             "--sensor", "3:temp=24.0,hum=40.0")
            try:
                warming = threading.Event()

                def warm_up():  # sensor 2 climbs 0.1 ℃ every 2 s: not settled
                    value = 210
                    while not warming.wait(2):
                        value += 1
                        bus(f"set 2 temp={value / 10:.1f}")

                warmer = threading.Thread(target=warm_up)
                warmer.start()
                with readings.open("w") as out:
                    first = subprocess.Popen([CLI, "watch", bus.path, "1-3", "--format", "csv", "--interval", str(INTERVAL_MS),
                                              "--count", str(ROUNDS)], stdout=out, stderr=subprocess.DEVNULL)
                    bus.wait_requests(30, ceiling=60)
                    bus("fault 3 silent")
                    bus.wait_requests(60, ceiling=60)
                    bus("clear 3")
                    bus("fault 3 crc-low")
                    bus.wait_requests(66, ceiling=60)
                    bus("clear 3")
                    self.assertEqual(first.wait(120), 1)  # sensor 3 failed
                set_offset = subprocess.run([CLI, "set-offset", bus.path, "1", "temp", "-1.5"], capture_output=True, timeout=30)
                self.assertEqual(set_offset.returncode, 0, set_offset.stderr)
                with readings.open("a") as out:
                    second = subprocess.run([CLI, "watch", bus.path, "1-3", "--format", "csv", "--interval", str(INTERVAL_MS),
                                             "--count", str(ROUNDS)], stdout=out, stderr=subprocess.DEVNULL, timeout=120)
                    self.assertEqual(second.returncode, 0)
                warming.set()
                warmer.join()
            finally:
                bus.stop()

        made = subprocess.run([CLI, "report", str(readings), "-o", str(page), "--title", "E2E 调试记录"], capture_output=True,
                              text=True, timeout=60)
        self.assertEqual((made.returncode, made.stderr), (0, ""))
        with tempfile.TemporaryDirectory() as profile:
            dumped = subprocess.run(CHROMIUM + [f"--user-data-dir={profile}", "--dump-dom", page.as_uri()], capture_output=True,
                                    text=True, timeout=180)
            self.assertEqual(dumped.returncode, 0, dumped.stderr)
        with tempfile.TemporaryDirectory() as profile:
            subprocess.run(CHROMIUM + [f"--user-data-dir={profile}", f"--screenshot={shot}", "--window-size=820,2600",
                                       "--hide-scrollbars", page.as_uri()], capture_output=True, timeout=180)
        dom = dumped.stdout  # the document as Chromium holds it after loading, serialized

        with readings.open() as source:
            rows = [r for r in csv.DictReader(source) if r["time"] != "time"]  # the second piece's header
        self.assertEqual(len(rows), 2 * ROUNDS * 3)
        overview = dict(re.findall(r'<td id="(\w+)">([^<]*)', dom))
        self.assertEqual(re.findall("<h1>(.*?)</h1>", dom), ["E2E 调试记录"])
        self.assertEqual((overview["rows"], overview["failures"], overview["files"]),
                         (str(len(rows)), str(sum(r["status"] != "ok" for r in rows)), f"{readings}（{len(rows)} 行）"))
        sections = re.findall(r'<section class="([^"]*)" id="sensor-(\d+)">(.*?)</section>', dom, re.S)
        self.assertEqual([int(address) for _, address, _ in sections], list(figures(rows)))
        for (classes, address, html), sensor in zip(sections, figures(rows).values()):
            with self.subTest(address=address):
                self.assertEqual(html.count('<svg class="trend"'), 1)
                self.assertEqual(re.findall(r'<td class="n (?:rows|success)">([^<]*)</td>', html),
                                 [sensor["rows"], sensor["success"]])
                self.assertEqual((cells(html, "temp"), cells(html, "hum")), (sensor["temp"], sensor["hum"]))
                self.assertEqual(dict(re.findall(r'data-status="([\w-]+)">.*?<td class="n">(\d+)</td>', html)), sensor["statuses"])
                self.assertEqual(re.findall(r'<td class="n toff">([^<]*)</td><td class="n hoff">([^<]*)</td>', html),
                                 sensor["offsets"])
                self.assertEqual(html.count('class="offset-change"'), len(sensor["offsets"]) - 1)
        # Sensor 1 is steady (its offset jump is not movement), 2 warmed up, 3 missed more than 5 % of reads.
        self.assertEqual([(classes, address) for classes, address, _ in sections],
                         [("sensor", "1"), ("sensor flagged", "2"), ("sensor flagged", "3")])
        self.assertEqual([html.count(flag) for _, _, html in sections for flag in ('class="flag unsettled"', 'class="flag poor"')],
                         [0, 0, 1, 0, 0, 1])
        self.assertEqual([html.count('class="failure"') > 0 for _, _, html in sections], [False, False, True])
        self.assertGreater(sections[2][2].count('<polyline class="series"'), 2)  # broken where reads failed
        self.assertTrue(shot.exists())


if __name__ == "__main__":
    unittest.main()
