"""A commissioning run end to end: tarvik-cli watches three sensors of tarvik-sim in two pieces appended
to one CSV, with the temperature offset of sensor 1 set between them (the port is held while a watch
runs), sensor 2 warming up, sensor 3 silent for a while and giving bad CRCs for a moment. Then `report`
makes the page, headless Chromium loads it, and its DOM is checked against figures this test works out
from the CSV on its own; the page, the CSV and a screenshot stay in OUT_DIR.
    report_test.py TARVIK_CLI TARVIK_SIM OUT_DIR"""

import csv
import html.parser
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


class Dom(html.parser.HTMLParser):
    """The elements of the dumped DOM as (tag, attributes, text, section id), in document order."""

    def __init__(self, text):
        super().__init__()
        self.elements, self.open, self.section = [], [], None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "section":
            self.section = attrs.get("id")
        element = [tag, attrs, "", self.section]
        self.elements.append(element)
        if tag not in ("br", "meta", "line", "rect", "circle", "polyline"):
            self.open.append(element)

    def handle_endtag(self, tag):
        while self.open and self.open.pop()[0] != tag:
            pass

    def handle_data(self, data):
        for element in self.open:
            element[2] += data

    def find(self, section=None, tag=None, cls=None, **attrs):
        return [e for e in self.elements if (section is None or e[3] == section) and (tag is None or e[0] == tag)
                and (cls is None or cls in e[1].get("class", "").split())
                and all(e[1].get(k) == v for k, v in attrs.items())]

    def text(self, section, tag, cls):
        """The text of the one element of that class in the section."""
        found = self.find(section, tag, cls)
        if len(found) != 1:
            raise AssertionError(f"{len(found)} {tag}.{cls} in {section}")
        return found[0][2].strip()


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
        dom = Dom(dumped.stdout)

        with readings.open() as source:
            rows = [r for r in csv.DictReader(source) if r["time"] != "time"]  # the second piece's header
        expected = figures(rows)
        self.assertEqual(len(rows), 2 * ROUNDS * 3)
        self.assertEqual(dom.find(tag="h1")[0][2], "E2E 调试记录")
        self.assertEqual(dom.find(tag="td", id="rows")[0][2], str(len(rows)))
        self.assertEqual(dom.find(tag="td", id="failures")[0][2], str(sum(r["status"] != "ok" for r in rows)))
        self.assertEqual(dom.find(tag="td", id="files")[0][2], f"{readings}（{len(rows)} 行）")
        self.assertEqual([e[1]["id"] for e in dom.find(tag="section")], ["sensor-1", "sensor-2", "sensor-3"])
        for address, sensor in expected.items():
            section = f"sensor-{address}"
            with self.subTest(address=address):
                self.assertEqual(len(dom.find(section, "svg", "trend")), 1)
                self.assertEqual(dom.text(section, "td", "rows"), sensor["rows"])
                self.assertEqual(dom.text(section, "td", "success"), sensor["success"])
                for key in ("temp", "hum"):
                    cells = self.row_cells(dom, section, key)
                    self.assertEqual({c[1]["class"].split()[1]: c[2] for c in cells}, sensor[key])
                shown = {e[1]["data-status"]: e[2].split("）")[-1].strip() for e in dom.find(section, "tr", "status")}
                self.assertEqual(shown, sensor["statuses"])
                self.assertEqual([(dom_row[0], dom_row[1]) for dom_row in self.offset_rows(dom, section)], sensor["offsets"])
                self.assertEqual(len(dom.find(section, "line", "offset-change")), len(sensor["offsets"]) - 1)
        # Sensor 1 is steady (its offset jump is not movement), 2 warmed up, 3 missed more than 5 % of reads.
        self.assertEqual([e[1]["id"] for e in dom.find(tag="section", cls="flagged")], ["sensor-2", "sensor-3"])
        self.assertEqual(len(dom.find("sensor-2", "p", "unsettled")), 1)
        self.assertEqual(len(dom.find("sensor-3", "p", "poor")), 1)
        self.assertGreater(len(dom.find("sensor-3", "line", "failure")), 0)
        self.assertGreater(len(dom.find("sensor-3", "polyline", "series")), 2)  # broken where reads failed
        self.assertEqual(len(dom.find("sensor-1", "line", "failure")), 0)
        self.assertTrue(shot.exists())

    @staticmethod
    def row_cells(dom, section, key):
        rows = dom.find(section, "tr", key)
        start = dom.elements.index(rows[0])
        cells = []
        for element in dom.elements[start + 1:]:
            if element[0] in ("tr", "table"):
                break
            if element[0] == "td":
                cells.append(element)
        return cells

    @staticmethod
    def offset_rows(dom, section):
        toff, hoff = dom.find(section, "td", "toff"), dom.find(section, "td", "hoff")
        return [(t[2], h[2]) for t, h in zip(toff, hoff)]


if __name__ == "__main__":
    unittest.main()
