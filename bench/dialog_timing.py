#!/usr/bin/env python3
"""Times Tarvik.exe's exchanges under Wine against the simulated bus and prints the figures; asserts
nothing. The moments come from two clocks of this machine: the simulator's frame log (when the first
byte of each request arrived) and this script (when a click was sent to the UI driver, when a poll
through the driver found the result in the pane).

- click to request: from sending a read click to the driver until the request's first byte;
- request to result: from the request until the read's block is in the pane, bounded by the last poll
  that did not find it and the first that did (the spread of the two is the poll's resolution);
- request to request: the spacing of a continuous read's requests.

For scale it first times the driver's own round trip and a text replaced from outside in the pane and
in a one-line read-out: what every line the program writes to the pane costs under Wine."""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
REPO = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(REPO / "tools/winelaunch"), str(REPO / "tools/sim")]
import simbus  # noqa: E402
import winelaunch as wl  # noqa: E402
from tarvik_dialog import ADDRESS, CONTINUOUS, INFO, OPEN, READ, TO, Dialog  # noqa: E402

EM_GETLINECOUNT = 0xBA
LINES_BEFORE_RESULT = 3  # the pane right after a read's click: its echo, its request line, the empty last line


def figures(name, values):
    print(f"{name:<38} mean {statistics.mean(values):8.1f}  min {min(values):8.1f}  max {max(values):8.1f} ms"
          f"  ({len(values)})")


def round_trips(command, count):
    times = []
    for _ in range(count):
        started = time.monotonic()
        command()
        times.append((time.monotonic() - started) * 1000)
    return times


def requests(bus):
    return [stamp for stamp, direction, _ in bus.frames() if direction == "rx"]


def single_reads(ui, bus, count):
    """(click to request, last miss to request, first hit to request) per read, in ms."""
    clicks, misses, hits = [], [], []
    for _ in range(count):
        clicks.append(time.time())
        ui.click(READ)
        missed = time.time()
        while True:
            asked = time.time()
            if ui[INFO].send(EM_GETLINECOUNT) > LINES_BEFORE_RESULT:
                hits.append(time.time())
                misses.append(missed)
                break
            missed = asked
        ui.wait_exchange()
    stamps = requests(bus)[-count:]
    return ([(s - c) * 1000 for s, c in zip(stamps, clicks)], [(m - s) * 1000 for s, m in zip(stamps, misses)],
            [(h - s) * 1000 for s, h in zip(stamps, hits)])


def continuous_run(ui, bus, count):
    """The spacings of `count` + 1 requests of a run over 1 and 2, in ms."""
    sent = len(requests(bus))
    ui.set_text(TO, "2")
    ui.click(CONTINUOUS)
    bus.wait_requests(sent + count + 1, ceiling=count * 2 + 10)
    ui.click(CONTINUOUS)
    stamps = requests(bus)[sent:sent + count + 1]
    return [(later - earlier) * 1000 for earlier, later in zip(stamps, stamps[1:])]


def main():
    wl.isolate()
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", default=REPO / "build/windows/Tarvik.exe")
    parser.add_argument("--work", default=REPO / "build/e2e", help="Wine prefix (shared with the e2e tests)")
    parser.add_argument("--reads", type=int, default=20, help="single reads to time")
    parser.add_argument("--run", type=int, default=20, help="request spacings of the continuous read to time")
    args = parser.parse_args()
    wine = wl.Wine(args.work)
    link = wine.root / "ttys/COM3"
    link.parent.mkdir(parents=True, exist_ok=True)
    bus = simbus.Bus(link, wine.logs)
    try:
        wine.start({"COM3": link})
        with wine.driver(log_name="bench") as driver:
            ui = Dialog(wine, driver, args.exe, windows_version="nt40")
            ui.click(OPEN)
            figures("driver round trip (one poll)", round_trips(lambda: ui[INFO].send(EM_GETLINECOUNT), 50))
            figures("one line set into the pane", round_trips(lambda: ui.set_text(INFO, "正在读取\r\n"), 20))
            figures("one line set into a read-out", round_trips(lambda: ui.set_text(ADDRESS, "1"), 20))
            to_request, last_miss, first_hit = single_reads(ui, bus, args.reads)
            figures("click to request", to_request)
            figures("request to result, last poll without", last_miss)
            figures("request to result, first poll with", first_hit)
            spacings = continuous_run(ui, bus, args.run)
            figures("request to request, continuous read", spacings)
            print("spacings in order (ms):", " ".join(f"{s:.1f}" for s in spacings))
            ui.main.post(wl.WM_CLOSE)
            ui.process.wait(20)
    except (wl.LaunchError, wl.DriverError, TimeoutError, RuntimeError) as error:
        print(f"the benchmark failed: {error}")
        return 1
    finally:
        wine.stop()
        bus.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
