#!/usr/bin/env python3
"""Takes the guide's pictures: the real Tarvik.exe under Wine (tools/winelaunch) against a simulated bus
as COM3 (sensors 1 and 2), one PNG of the dialog per step the guide describes, without metadata, so an
unchanged dialog gives unchanged files. Each picture shows the focus on the button the step clicks, as a
mouse click leaves it: no blinking caret in an edit field makes two runs differ. Usage: guide-screenshots.py OUTPUT_DIR [--exe Tarvik.exe]"""

import argparse
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
REPO = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(REPO / "tools/winelaunch"), str(REPO / "tools/sim")]
import simbus  # noqa: E402
import winelaunch as wl  # noqa: E402
from tarvik_dialog import CONTINUOUS, OPEN, READ, SENSOR_ADDRESS, SET_TEMP, TEMP_INPUT, TO, Dialog  # noqa: E402


WM_NEXTDLGCTL = 0x28


def steps(ui, shoot):
    shoot("port-list", OPEN)
    ui.click(OPEN)
    shoot("port-open", OPEN)
    ui.click(READ)
    ui.wait_exchange()
    shoot("read-one", READ)
    ui.set_text(TO, "2")
    ui.click(CONTINUOUS)
    wl.wait_for(lambda: ui.pane().count("读取成功:") >= 3, "three reads of the range")
    shoot("read-range", CONTINUOUS)
    # The next read is a second away; one that came before the picture was done would change it.
    if ui.pane().count("读取成功:") != 3:
        raise RuntimeError("a fourth read of the range came while its picture was taken")
    ui.click(CONTINUOUS)
    ui.set_text(TEMP_INPUT, "1.5")
    ui.click(SET_TEMP)
    ui.wait_exchange()
    shoot("write-offset", SET_TEMP)
    ui.set_text(SENSOR_ADDRESS, "7")
    ui.click(READ)
    ui.wait_exchange()
    shoot("no-answer", READ)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output", type=Path)
    parser.add_argument("--exe", default=REPO / "build/windows/Tarvik.exe")
    args = parser.parse_args()
    wl.isolate()
    out = args.output.resolve()
    out.mkdir(parents=True, exist_ok=True)
    wine = wl.Wine(REPO / "build/run")  # the run command's prefix: each prefix takes over a gigabyte
    bus = simbus.Bus(wine.root / "COM3", wine.logs)
    try:
        wine.start({"COM3": wine.root / "COM3"})
        with wine.driver() as driver:
            ui = Dialog(wine, driver, args.exe, windows_version="nt40")

            def shoot(name, focus):
                ui.main.send(WM_NEXTDLGCTL, ui[focus].hwnd, 1)
                shot = wl.screenshot(wine, ui.main, wine.root / f"{name}.png")
                subprocess.run(["/usr/bin/convert", shot, "-strip", out / f"{name}.png"], check=True)

            steps(ui, shoot)
            ui.main.post(wl.WM_CLOSE)
        ui.process.wait()
    except (wl.LaunchError, wl.DriverError, TimeoutError, RuntimeError) as error:
        print(f"cannot take the guide's screenshots: {error}")
        return 1
    finally:
        wine.stop()
        bus.stop()
    print(f"screenshots in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
