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
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tools/winelaunch"))
import winelaunch as wl  # noqa: E402

# Control ids of the main dialog (res/resource.h).
CONTINUOUS, SET_TEMP, INFO, TEMP_INPUT, OPEN, READ = 1002, 1004, 1008, 1009, 1014, 1019
CONTINUOUS_READS = 4


def stop_on_signal(number, frame):
    raise KeyboardInterrupt


def scripted_session(main, write_offset):
    controls = {c.info()["id"]: c for c in main.children()}

    def pane():
        return controls[INFO].text().split("\r\n")[:-1]

    def step(what, control, done=lambda: controls[READ].enabled()):
        controls[control].click()
        wl.wait_for(done, what)
        print(f"--- {what}\n" + "".join(f"    {line}\n" for line in pane()), end="", flush=True)

    step("open COM3", OPEN, lambda: True)
    step("read sensor 1", READ)
    step(f"read 1 and 2 continuously, {CONTINUOUS_READS} reads", CONTINUOUS,
         lambda: pane().count("读取成功:") + pane().count("接收数据长度不正确！") >= CONTINUOUS_READS)
    controls[CONTINUOUS].click()
    if write_offset:
        controls[TEMP_INPUT].set_text("1.5")
        step("write the temperature offset 1.5 into sensor 1", SET_TEMP)
        step("read sensor 1 again", READ)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--device", help="a serial device to use as COM3 instead of the simulated bus")
    parser.add_argument("--exe", default=REPO / "build/windows/Tarvik.exe")
    parser.add_argument("--work", default=REPO / "build/run", help="Wine prefix, logs and screenshot")
    args = parser.parse_args()
    if args.device and not wl.serial_device(args.device):
        print(f"run: {args.device} is not a serial device", file=sys.stderr)
        return 2
    wl.isolate([args.device] if args.device else [])
    signal.signal(signal.SIGTERM, stop_on_signal)
    display = os.environ.get("DISPLAY")
    wine = wl.Wine(args.work, display)
    sim = None
    try:
        line = args.device
        if not line:
            line = wine.root / "COM3"
            sim = subprocess.Popen([REPO / "build/host/tools/sim/tarvik-sim", "--link", line, "--no-drift"],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
            print(f"simulated sensors 1 and 2 on {sim.stdout.readline().decode().strip()}, attached as COM3",
                  flush=True)
        wine.start({"COM3": line})
        program = wine.run([wl.windows_path(args.exe)], windows_version="nt40")
        with wine.driver() as ui:
            main = wl.find_window(ui, "Tarvik", process=program)
            if display:
                print("Tarvik is running; close its window to end.", flush=True)
            elif main:
                scripted_session(main, write_offset=sim is not None)
                ui("redraw", main.hwnd)
                print(f"screenshot: {wl.screenshot(wine.display, main.rect(), wine.root / 'tarvik.png')}")
                main.post(wl.WM_CLOSE)
        return program.wait()
    except (wl.LaunchError, wl.DriverError, TimeoutError) as error:
        print(f"cannot run Tarvik: {error}")
        return 1
    except KeyboardInterrupt:
        return 130
    finally:
        wine.stop()
        if sim:
            sim.terminate()
            sim.wait(10)


if __name__ == "__main__":
    sys.exit(main())
