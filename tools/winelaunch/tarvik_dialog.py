"""Tarvik.exe's main dialog as a script sees it under Wine (tools/winelaunch): its controls by id and
the information pane. The run command's scripted session and the end-to-end tests work it."""

import re
import subprocess
from pathlib import Path

import winelaunch as wl

# The control ids as the program is built with them.
_IDS = {name: int(value) for name, value in re.findall(r"^#define IDC_(\w+) (\d+)$",
        (Path(__file__).resolve().parents[2] / "res/resource.h").read_text(), re.M)}
(PORT, CONTINUOUS, SET_HUM, SET_TEMP, ADDRESS, TEMP_OFFSET, TEMPERATURE, INFO, TEMP_INPUT, TYPE, HUM_INPUT, HUM_OFFSET,
 HUMIDITY, OPEN, HW_VERSION, SW_VERSION, FROM, READ, TO, SENSOR_ADDRESS) = (_IDS[name] for name in (
    "PORT_COMBO", "CONTINUOUS_BUTTON", "SET_HUM_OFFSET_BUTTON", "SET_TEMP_OFFSET_BUTTON", "ADDRESS_EDIT",
    "TEMP_OFFSET_EDIT", "TEMPERATURE_EDIT", "INFO_EDIT", "TEMP_OFFSET_INPUT", "TYPE_EDIT", "HUM_OFFSET_INPUT",
    "HUM_OFFSET_EDIT", "HUMIDITY_EDIT", "OPEN_BUTTON", "HW_VERSION_EDIT", "SW_VERSION_EDIT", "RANGE_FROM_EDIT",
    "READ_BUTTON", "RANGE_TO_EDIT", "SENSOR_ADDRESS_EDIT"))


class Dialog:
    def __init__(self, wine, driver, exe, lang="zh_CN.UTF-8", windows_version=None):
        """Starts `exe` under `wine` and waits for its dialog; Wine reports `windows_version` to it."""
        self.driver = driver
        self.process = wine.run([exe], lang, windows_version,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.main = wl.find_window(driver, "Tarvik", process=self.process)
        if self.main is None:
            raise wl.LaunchError(f"Tarvik.exe ended at start with {self.process.returncode}")
        self.controls = {c.info()["id"]: c for c in self.main.children()}

    def __getitem__(self, control):
        return self.controls[control]

    def text(self, control):
        return self.controls[control].text()

    def enabled(self, control):
        return self.controls[control].enabled()

    def set_text(self, control, text):
        self.controls[control].set_text(text)

    def click(self, control):
        return self.controls[control].click()

    def pane(self):
        """The information pane's lines; the last is the empty one after the final line end."""
        return self.text(INFO).split("\r\n")

    def wait_exchange(self):
        """A single read or write has ended when its check gives the command buttons back."""
        wl.wait_for(lambda: self.enabled(READ), "the command buttons back after the exchange")
