#!/usr/bin/env python3
"""Takes the guide's pictures: the real Tarvik.exe under Wine and Xvfb, driven through its control ids
against a simulated bus on COM3 (sensors 1 and 2, no drift), one PNG of the dialog per step the guide
describes. Usage: guide-screenshots.py OUTPUT_DIR [--exe Tarvik.exe]"""

import argparse
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests/e2e"))
import rig  # noqa: E402
from rig import (CONTINUOUS_BUTTON, HUM_OFFSET_INPUT, OPEN_BUTTON, RANGE_TO_EDIT, READ_BUTTON,  # noqa: E402
                 SENSOR_ADDRESS_EDIT, SET_TEMP_OFFSET_BUTTON, TEMP_OFFSET_INPUT)
from sensor_bus import BUS_PORT, pane, requests, wait_exchange_over, wait_requests  # noqa: E402


def steps(ui, bus, shoot):
    shoot("port-list")
    ui.click(OPEN_BUTTON)
    shoot("port-open")
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    shoot("read-one")
    ui.set_text(RANGE_TO_EDIT, "2")
    sent = len(requests(bus))
    ui.click(CONTINUOUS_BUTTON)
    wait_requests(bus, sent + 3)
    rig.wait_for(lambda: pane(ui).count("读取成功:") >= 3, "the continuous read's third result")
    shoot("read-range")
    ui.click(CONTINUOUS_BUTTON)
    ui.set_text(TEMP_OFFSET_INPUT, "1.5")
    ui.set_text(HUM_OFFSET_INPUT, "-2.0")
    ui.click(SET_TEMP_OFFSET_BUTTON)
    wait_exchange_over(ui)
    shoot("write-offset")
    ui.set_text(SENSOR_ADDRESS_EDIT, "7")
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    shoot("no-answer")


def main():
    rig.enter_isolation()
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output", type=Path)
    parser.add_argument("--exe", default=rig.DEFAULT_EXE)
    args = parser.parse_args()
    out = args.output.resolve()
    out.mkdir(parents=True, exist_ok=True)

    the_rig = rig.Rig(rig.REPO / "build/guide", args.exe, rig.DEFAULT_DRIVER, rig.DEFAULT_SIM)
    try:
        the_rig.start()
        the_rig.wine.map_ports(the_rig.driver_path, [BUS_PORT])
        context = rig.Context(the_rig, rig.ZH_CN, "guide")
        try:
            bus = context.sim(BUS_PORT, "--no-drift")
            context.windows_version("nt40")
            ui = context.launch()

            def shoot(name):
                # Without metadata, so an unchanged dialog gives an unchanged file.
                subprocess.run(["/usr/bin/convert", str(context.screenshot(name)), "-strip",
                                str(out / f"{name}.png")], check=True)

            steps(ui, bus, shoot)
        finally:
            context.finish()
    except (rig.RigError, rig.ScenarioFailure) as error:
        print(f"cannot take the guide's screenshots: {error}")
        return 1
    finally:
        the_rig.stop()
    print(f"screenshots in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
