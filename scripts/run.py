#!/usr/bin/env python3
"""Runs Tarvik.exe under Wine (tools/winelaunch) with Wine reporting Windows NT 4.0 to it, so that it
finds its port by name: a simulated sensor bus (tarvik-sim, sensors 1 and 2) as COM3, or with
--device PATH that serial device as COM3 and no other. On a display the program stays until it is
closed; with no display it runs under Xvfb through a short scripted session that prints the
information pane after each step (open the port, read sensor 1, read 1 and 2 continuously; on the
simulated bus also write a temperature offset into sensor 1 and read it again), then saves a
screenshot of the dialog and prints its path."""

import argparse
import os
import signal
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
REPO = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(REPO / "tools/winelaunch"), str(REPO / "tools/sim")]
import simbus  # noqa: E402
import winelaunch as wl  # noqa: E402
from tarvik_dialog import CONTINUOUS, OPEN, READ, SET_TEMP, TEMP_INPUT, Dialog  # noqa: E402

CONTINUOUS_READS = 4


def stop_on_signal(number, frame):
    raise KeyboardInterrupt


def scripted_session(ui, write_offset):
    def step(what, control, done=lambda: ui.enabled(READ)):
        ui.click(control)
        wl.wait_for(done, what)
        print(f"--- {what}\n" + "".join(f"    {line}\n" for line in ui.pane()[:-1]), end="", flush=True)

    def results():
        return sum(ui.pane().count(line) for line in ("读取成功:", "接收数据长度不正确！"))

    step("open COM3", OPEN, lambda: True)
    step("read sensor 1", READ)
    step(f"read 1 and 2 continuously, {CONTINUOUS_READS} reads", CONTINUOUS, lambda: results() >= CONTINUOUS_READS)
    ui.click(CONTINUOUS)
    if write_offset:
        ui.set_text(TEMP_INPUT, "1.5")
        step("write the temperature offset 1.5 into sensor 1", SET_TEMP)
        step("read sensor 1 again", READ)


def main():
    parser = argparse.ArgumentParser(prog="scripts/run.sh", description=__doc__)
    parser.add_argument("--device", help="a serial device to use as COM3 instead of the simulated bus")
    parser.add_argument("--exe", default=REPO / "build/windows/Tarvik.exe")
    parser.add_argument("--work", default=REPO / "build/run", help="Wine prefix, logs and screenshot")
    args = parser.parse_args()
    # Resolved once: this path is the one hidden from nothing, given to Wine and checked.
    device = args.device and wl.serial_device(args.device)
    if args.device and not device:
        print(f"run: {args.device} is not a serial device of yours", file=sys.stderr)
        return 2
    signal.signal(signal.SIGTERM, stop_on_signal)
    display = os.environ.get("DISPLAY")
    sim = wine = None
    try:
        wl.isolate([device] if device else [])
        wine = wl.Wine(args.work, display)  # waits for another run on the same folder before touching it
        line = device
        if not line:
            sim = simbus.Bus(wine.root / "COM3", wine.logs)
            line = wine.root / "COM3"
            print(f"simulated sensors 1 and 2 on {sim.path}, attached as COM3", flush=True)
        wine.start({"COM3": line})
        with wine.driver() as driver:
            ui = Dialog(wine, driver, args.exe, windows_version="nt40")
            if display:
                print("Tarvik is running; close its window to end.", flush=True)
            else:
                scripted_session(ui, write_offset=sim is not None)
                print(f"screenshot: {wl.screenshot(wine, ui.main, wine.root / 'tarvik.png')}")
                ui.main.post(wl.WM_CLOSE)
        return ui.process.wait()
    except (wl.LaunchError, wl.DriverError, TimeoutError, RuntimeError) as error:
        print(f"cannot run Tarvik: {error}")
        return 1
    except KeyboardInterrupt:
        return 130
    finally:
        if wine:
            wine.stop()
        if sim:
            sim.stop()


if __name__ == "__main__":
    sys.exit(main())
