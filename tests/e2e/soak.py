#!/usr/bin/env python3
"""A long run of the real Tarvik.exe under Wine: a continuous read over sensors 1 to 8 on the simulator,
in runs of 5 to 12 s, each under a seeded random choice of faults (every kind the simulator has), one in
five with the line vanishing and returning (the port then closed and opened again), and an offset write and
a single read between runs. Every exchange is checked from the pane, the frame log and the schedule;
each minute the program's handles, GDI and USER objects and private memory are sampled inside Wine.
  soak.py --minutes N [--seed S]       prints its figures; exits non-zero at the first failure"""

import argparse
import collections
import random
import re
import sys
import time
from pathlib import Path
from types import SimpleNamespace

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness as h  # noqa: E402

SENSORS = [h.Sensor(a, f"temp={20 + a}.0,hum=50.0", [], []) for a in range(1, 9)]
CRC, UNWRITTEN, FORMAT, LENGTH = "CRC校验不正确！", "写串口失败", "接收数据格式不正确！", h.BAD_LENGTH
# The line a read meets under each fault with its default argument; the write-echo faults leave reads alone.
# The soak chooses among the faults the simulator lists and stops at once on one this table lacks.
READ_LINE = {"silent": LENGTH, "address": "接收地址不正确！", "crc-low": CRC, "crc-high": CRC, "split": LENGTH,
             "late": LENGTH, "exception": LENGTH, "short": LENGTH, "long": LENGTH, "echo-reg": None, "echo-crc": None,
             "echo-value": None, "function": FORMAT, "byte-count": FORMAT, "noise": LENGTH, "flood": LENGTH}


def tenths(t):
    return f"{'-' if t < 0 else ''}{abs(t) // 10}.{abs(t) % 10}"


def block(address, offset):
    return ["读取成功:", f"温度{tenths(200 + 10 * address + offset)} 度--湿度:50.0 %--温度偏移：{tenths(offset)}",
            f"湿度偏移：0.0--传感器地址：{address}--类型：1", "硬件版本：12--软件版本：105", ""]


def exchanges(pane):
    """(address, the lines its check wrote) for every request line of the pane."""
    parts = re.split(r"正在读取地址为：(\d+) 的设备\.\n", "\n".join(pane[:-1]) + "\n")[1:]
    return [(int(a), lines.split("\n")[:-1]) for a, lines in zip(parts[::2], parts[1::2])]


def soak(ctx, minutes, rng, figures):
    kinds = h.simbus.fault_kinds()
    h.check([kind for kind in kinds if kind not in READ_LINE], [], "faults of the simulator with no line here")
    ui, bus = ctx.open_bus(*SENSORS)
    pid, offsets, shown = ui.main.info()["pid"], dict.fromkeys(range(1, 9), 0), None
    end, next_sample = time.monotonic() + 60 * minutes, time.monotonic()
    while time.monotonic() < end:
        if time.monotonic() >= next_sample:
            figures["resources"].append(ctx.driver("resources", pid))
            next_sample += 60
        faults = {a: rng.choice(kinds) for a in range(1, 9) if rng.random() < 0.4}
        for address, kind in faults.items():
            bus(f"fault {address} {kind}")
        vanish, sent = figures["runs"] % 5 == 2, len(bus.wire("rx"))  # from the third run on, so a short soak meets it
        figures["runs"], figures["vanished"] = figures["runs"] + 1, figures["vanished"] + vanish
        ui.set_text(h.FROM, "1"), ui.set_text(h.TO, "8"), ui.click(h.CONTINUOUS)
        time.sleep(rng.uniform(5, 12))
        if vanish:
            bus("vanish"), time.sleep(2.5), bus("return")
        ui.click(h.CONTINUOUS)
        # A request written just before the stop may still be on its way to the simulator's log.
        written = lambda: [a for a, lines in exchanges(ui.pane()) if lines[:1] != [UNWRITTEN]]  # noqa: E731
        h.wait_for(lambda: len(bus.wire("rx")) - sent >= len(written()), "the requests written before the stop")
        ui.expect_quiet(bus, "the stop")  # no request after it
        rx = [(t, f) for t, d, f in bus.frames() if d == "rx"][sent:]
        runs = exchanges(ui.pane())
        h.check([a for a, _ in runs], [1 + i % 8 for i in range(len(runs))], "addresses in turn from 1")
        h.check([f for _, f in rx], [h.read_request(a) for a, lines in runs if lines[:1] != [UNWRITTEN]], "requests")
        for n, (address, lines) in enumerate(runs):
            kind = faults.get(address)
            expected = [READ_LINE[kind]] if READ_LINE.get(kind) else block(address, offsets[address])
            # Around a vanished line the write or the answer fails; a read stopped while awaited gets no check.
            allowed = [expected] + [[UNWRITTEN, LENGTH], [LENGTH]] * vanish + [[], [UNWRITTEN]] * (n == len(runs) - 1)
            h.check(lines in allowed, True, f"read of {address} under {kind}: {lines}")
            shown = address if lines[:1] == ["读取成功:"] else shown
            figures["exchanges"], figures["lines"] = figures["exchanges"] + 1, figures["lines"] + len(lines) + 1
            figures["faults"][kind or "none"] += 1
        if shown:
            h.check([ui.text(h.ADDRESS), ui.text(h.TEMP_OFFSET)], [str(shown), tenths(offsets[shown])],
                    "read-outs: the last successful read's sensor")
        figures["spacing"] += [] if vanish else [b[0] - a[0] for a, b in zip(rx, rx[1:])]
        for address in faults:
            bus(f"clear {address}")
        if vanish:
            ui.click(h.OPEN), ui.click(h.OPEN)
        shown, offset = rng.randint(1, 8), rng.randint(-100, 100)
        ui.set_text(h.TEMP_INPUT, tenths(offset)), ui.set_text(h.SENSOR_ADDRESS, str(shown))
        ui.click(h.SET_TEMP), ui.wait_exchange()
        h.check(ui.pane()[-2:], ["温度偏移设置成功！", ""], "pane after the offset write")
        offsets[shown] = offset
        ui.read(shown)
        h.check(ui.pane()[-6:], block(shown, offset) + [""], "pane after the single read")
    figures["resources"].append(ctx.driver("resources", pid))
    spacing, settled = figures["spacing"], figures["resources"][1:]  # the first sample: before any exchange
    h.check(all(0.95 < s < 1.5 for s in spacing), True, f"spacing within 0.95..1.5 s: {spacing}")
    for what, slack in (("handles", 2), ("gdi", 0), ("user", 0), ("private", 1 << 20)):
        h.check(max(s[what] for s in settled) - min(s[what] for s in settled) <= slack, True, f"{what} flat")


def main():
    h.wl.isolate()
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--minutes", type=float, required=True)
    parser.add_argument("--seed", type=int, default=20261206)
    parser.add_argument("--work", default=h.REPO / "build/e2e", help="Wine prefix and logs")
    args = parser.parse_args()
    rig = SimpleNamespace(exe=h.REPO / "build/windows/Tarvik.exe", wine=h.wl.Wine(args.work))
    (rig.wine.root / "ttys").mkdir(parents=True, exist_ok=True)
    figures = {"runs": 0, "vanished": 0, "exchanges": 0, "lines": 0, "faults": collections.Counter(), "spacing": [],
               "resources": []}
    failure = None
    rig.wine.start({h.BUS: rig.wine.root / "ttys" / h.BUS})
    ctx = h.Context(rig, h.ZH_CN, "soak")
    try:
        soak(ctx, args.minutes, random.Random(args.seed), figures)
    except h.FAILURES as error:
        failure = error
    finally:
        ctx.finish()
        rig.wine.stop()
    spacing = figures.pop("spacing") or [0]
    print(*(f"{what}: {value}" for what, value in figures.items()), sep="\n")
    print(f"request spacing: mean {sum(spacing) / len(spacing):.3f} s, min {min(spacing):.3f}, max {max(spacing):.3f}")
    print(f"soak {'FAILED: ' + str(failure) if failure else 'passed'}")
    return 1 if failure else 0


if __name__ == "__main__":
    sys.exit(main())
