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
in a one-line read-out: what every line the program writes to the pane costs under Wine.
"""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig  # noqa: E402
from rig import ADDRESS_EDIT, CONTINUOUS_BUTTON, INFO_EDIT, READ_BUTTON, RANGE_TO_EDIT  # noqa: E402
from sensor_bus import SENSOR_1, SENSOR_2, open_bus, requests, wait_exchange_over, wait_requests  # noqa: E402

# The pane right after a read's click: its echo line, its request line and the empty last line.
LINES_BEFORE_RESULT = 3


def figures(name, values, unit="ms"):
    print(f"{name:<38} mean {statistics.mean(values):8.1f}  min {min(values):8.1f}  max {max(values):8.1f} {unit}"
          f"  ({len(values)})")


def request_stamps(bus):
    return [stamp for stamp, direction, _ in bus.frames() if direction == "rx"]


def round_trips(command, count):
    times = []
    for _ in range(count):
        started = time.monotonic()
        command()
        times.append((time.monotonic() - started) * 1000)
    return times


def single_reads(ui, bus, count):
    """Returns (click to request, last miss to request, first hit to request) per read, in ms."""
    clicks, misses, hits = [], [], []
    for _ in range(count):
        clicks.append(time.time())
        ui.click(READ_BUTTON)
        missed = time.time()
        while True:
            asked = time.time()
            if ui.lines(INFO_EDIT) > LINES_BEFORE_RESULT:
                hits.append(time.time())
                misses.append(missed)
                break
            missed = asked
        wait_exchange_over(ui)
    stamps = request_stamps(bus)[-count:]
    return ([(stamp - click) * 1000 for stamp, click in zip(stamps, clicks)],
            [(miss - stamp) * 1000 for stamp, miss in zip(stamps, misses)],
            [(hit - stamp) * 1000 for stamp, hit in zip(stamps, hits)])


def continuous_run(ui, bus, count):
    """The spacings of `count` + 1 requests of a run over 1 and 2, in ms."""
    sent = len(requests(bus))
    ui.set_text(RANGE_TO_EDIT, "2")
    ui.click(CONTINUOUS_BUTTON)
    wait_requests(bus, sent + count + 1, ceiling=count * 2 + 10)
    ui.click(CONTINUOUS_BUTTON)
    stamps = request_stamps(bus)[sent:sent + count + 1]
    return [(later - earlier) * 1000 for earlier, later in zip(stamps, stamps[1:])]


def main():
    rig.enter_isolation()
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", default=rig.DEFAULT_EXE)
    parser.add_argument("--driver", default=rig.DEFAULT_DRIVER)
    parser.add_argument("--sim", default=rig.DEFAULT_SIM)
    parser.add_argument("--work", default=rig.REPO / "build/e2e",
                        help="directory of the Wine prefix (shared with the end-to-end tests)")
    parser.add_argument("--reads", type=int, default=20, help="single reads to time")
    parser.add_argument("--run", type=int, default=20, help="request spacings of the continuous read to time")
    args = parser.parse_args()

    the_rig = rig.Rig(args.work, args.exe, args.driver, args.sim)
    try:
        the_rig.start()
        the_rig.wine.map_ports(the_rig.driver_path, ["COM3"])
        context = rig.Context(the_rig, rig.ZH_CN, "bench")
        try:
            ui, bus = open_bus(context, SENSOR_1, SENSOR_2)
            figures("driver round trip (one poll)", round_trips(lambda: ui.lines(INFO_EDIT), 50))
            figures("one line set into the pane", round_trips(lambda: ui.set_text(INFO_EDIT, "正在读取\r\n"), 20))
            figures("one line set into a read-out", round_trips(lambda: ui.set_text(ADDRESS_EDIT, "1"), 20))
            to_request, last_miss, first_hit = single_reads(ui, bus, args.reads)
            figures("click to request", to_request)
            figures("request to result, last poll without", last_miss)
            figures("request to result, first poll with", first_hit)
            spacings = continuous_run(ui, bus, args.run)
            figures("request to request, continuous read", spacings)
            print("spacings in order (ms):", " ".join(f"{s:.1f}" for s in spacings))
        finally:
            context.finish()
    except (rig.RigError, rig.ScenarioFailure) as error:
        print(f"the benchmark failed: {error}")
        return 1
    finally:
        the_rig.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
