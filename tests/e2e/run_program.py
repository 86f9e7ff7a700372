#!/usr/bin/env python3
"""Runs Tarvik.exe under Wine for a person to use, with a simulated sensor bus (tarvik-sim) attached as
COM3 and Wine reporting Windows NT 4.0 to the program, so that it finds the port by name. On a display
the program stays until it is closed; with no display it runs under Xvfb through a short scripted
session (open the port, read sensor 1, read 1 and 2 continuously for a few seconds, write a temperature
offset, read sensor 1 again) that prints the information pane after each step, then saves a screenshot
of the dialog and prints its path."""

import argparse
import os
import signal
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig  # noqa: E402
from rig import CONTINUOUS_BUTTON, OPEN_BUTTON, READ_BUTTON, SET_TEMP_OFFSET_BUTTON, TEMP_OFFSET_INPUT  # noqa: E402
from sensor_bus import BUS_PORT, pane, requests, wait_exchange_over, wait_requests  # noqa: E402

CONTINUOUS_READS = 4
DEMO_OFFSET = "1.5"


def stop_on_signal(number, frame):
    raise KeyboardInterrupt


def show(ui, step):
    print(f"--- {step}")
    for line in pane(ui)[:-1]:
        print(f"    {line}")
    sys.stdout.flush()


def scripted_session(ui, bus):
    """What an operator does first, on the default bus: sensors 1 and 2."""
    ui.click(OPEN_BUTTON)
    show(ui, f"open {BUS_PORT}")
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    show(ui, "read sensor 1")
    sent = len(requests(bus))
    ui.click(CONTINUOUS_BUTTON)
    wait_requests(bus, sent + CONTINUOUS_READS)
    rig.wait_for(lambda: pane(ui).count("读取成功:") >= CONTINUOUS_READS, "the continuous read's last result")
    ui.click(CONTINUOUS_BUTTON)
    show(ui, f"read 1 and 2 continuously, {CONTINUOUS_READS} reads")
    ui.set_text(TEMP_OFFSET_INPUT, DEMO_OFFSET)
    ui.click(SET_TEMP_OFFSET_BUTTON)
    wait_exchange_over(ui)
    show(ui, f"write the temperature offset {DEMO_OFFSET} into sensor 1")
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    show(ui, "read sensor 1 again")


def main():
    rig.enter_isolation()
    signal.signal(signal.SIGTERM, stop_on_signal)
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", default=rig.DEFAULT_EXE)
    parser.add_argument("--driver", default=rig.DEFAULT_DRIVER)
    parser.add_argument("--sim", default=rig.DEFAULT_SIM)
    parser.add_argument("--work", default=rig.REPO / "build/run",
                        help="directory for this Wine prefix, its logs and the screenshot")
    args = parser.parse_args()

    headless = not os.environ.get("DISPLAY")
    the_rig = rig.Rig(args.work, args.exe, args.driver, args.sim, headless=headless)
    try:
        the_rig.start()
        the_rig.wine.map_ports(the_rig.driver_path, [BUS_PORT])
        context = rig.Context(the_rig, rig.ZH_CN, "program")
        try:
            bus = context.sim(BUS_PORT, "--no-drift")
            print(f"simulated sensors 1 and 2 on {bus.path}, attached as {BUS_PORT}", flush=True)
            context.windows_version("nt40")
            ui = context.launch()
            if headless:
                scripted_session(ui, bus)
                shot = context.screenshot("tarvik")
                print(f"screenshot: {shot}")
            else:
                print("Tarvik is running; close its window to end.", flush=True)
                while ui.alive():
                    time.sleep(0.5)
        finally:
            context.finish()
    except rig.RigError as error:
        print(f"cannot run Tarvik: {error}")
        return 1
    except rig.ScenarioFailure as error:
        print(f"the scripted session failed: {error}")
        return 1
    except KeyboardInterrupt:
        return 130
    finally:
        the_rig.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
