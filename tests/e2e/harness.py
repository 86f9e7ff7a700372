"""What the scenarios share: Tarvik.exe's controls and what the operator sees, the simulated bus, the
frames computed here on their own, the checks, and one scenario's world, released at its end."""

import contextlib
import pwd
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(REPO / "tools/winelaunch"), str(REPO / "tools/sim")]
import simbus  # noqa: E402
import winelaunch as wl  # noqa: E402
from tarvik_dialog import *  # noqa: E402,F401,F403  the control ids and Dialog
from winelaunch import wait_for  # noqa: E402,F401

ZH_CN, C_UTF8 = "zh_CN.UTF-8", "C.UTF-8"
COMMANDS = (CONTINUOUS, SET_HUM, SET_TEMP, READ)
READ_OUTS = (TEMPERATURE, HUMIDITY, TEMP_OFFSET, HUM_OFFSET, ADDRESS, TYPE, HW_VERSION, SW_VERSION)
CB_GETCURSEL, EM_GETLINECOUNT, SC_CLOSE = 0x147, 0xBA, wl.SC_CLOSE
BUS = "COM3"
BAD_LENGTH = "接收数据长度不正确！"
START, STOP = "连续读开始", "连续读停止"
ENUM_KEY = "HKLM\\Enum"
FAILURES = (AssertionError, TimeoutError, RuntimeError, wl.DriverError, wl.LaunchError, subprocess.TimeoutExpired)


def check(actual, expected, what):
    if actual != expected:
        raise AssertionError(f"{what}: expected {expected!r}, got {actual!r}")


def rows(table, run):
    """Runs `run(*row)` for every row; a failure names the row by its first cell."""
    for row in table:
        try:
            run(*row)
        except FAILURES as error:
            raise AssertionError(f"[{row[0]}] {error}") from None


@contextlib.contextmanager
def unprivileged_user(name="tarvik-probe"):
    """A user of the machine with no rights of its own, removed again at the end."""
    subprocess.run(["useradd", "--no-create-home", "--shell", "/usr/sbin/nologin", name], check=True)
    try:
        yield pwd.getpwnam(name)
    finally:
        subprocess.run(["userdel", name], check=True)


SCENARIOS = []


def scenario(title, com=(), langs=(ZH_CN,)):
    """Registers a scenario: it runs once per locale with Wine mapping exactly `com`."""
    def register(function):
        SCENARIOS.append((title, function, tuple(sorted(com)), langs))
        return function
    return register


def with_crc(body):
    crc = 0xFFFF
    for byte in body:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes(body) + crc.to_bytes(2, "little")


def read_request(address):
    return with_crc([address, 3, 0, 0, 0, 8])


def read_reply(address, registers):
    return with_crc(bytes([address, 3, 2 * len(registers)]) + b"".join(r.to_bytes(2, "big") for r in registers))


class Sensor:
    """A simulated sensor: its tarvik-sim settings, its eight registers and the read-outs they show."""

    def __init__(self, address, settings, registers, read_outs):
        self.address, self.settings, self.registers, self.read_outs = address, settings, registers, read_outs
        self.request_line, self.reply = f"正在读取地址为：{address} 的设备.", read_reply(address, registers)

    def block(self):
        t = self.read_outs
        return ["读取成功:", f"温度{t[0]}度--湿度:{t[1]}%--温度偏移：{t[2]}",
                f"湿度偏移：{t[3]}--传感器地址：{t[4]}--类型：{t[5]}", f"硬件版本：{t[6]}--软件版本：{t[7]}", ""]


# A reported reading is the base reading plus the offset register, so 25.0 with -1.5 reads 23.5.
SENSOR_1 = Sensor(1, "temp=25.0,hum=45.6,toff=-1.5,hoff=0.0,r5=0x1A,r6=0x10,r7=0x12",
                  [0x00EB, 0x01C8, 0x800F, 0x0000, 1, 0x1A, 0x10, 0x12],
                  ["23.5 ", "45.6 ", "-1.5", "0.0", "1", "1A", "10", "12"])
SENSOR_2 = Sensor(2, "temp=-5.0,hum=80.0,toff=0.0,hoff=2.5,r5=0x2B,r6=0x100,r7=0xABC",
                  [0x8032, 0x0339, 0x0000, 0x0019, 2, 0x2B, 0x100, 0xABC],
                  ["-5.0 ", "82.5 ", "0.0", "2.5", "2", "2B", "100", "ABC"])
ABSENT_3 = Sensor(3, "", [], [])


class Tarvik(Dialog):
    def read_outs(self):
        return [self.text(c) for c in READ_OUTS]

    def buttons(self):
        return [self.enabled(c) for c in COMMANDS]

    def popup(self):
        return next(iter(self.main.dialogs()), None)

    def about_box(self):
        """The About box, by the system menu's last entry: one step up from the top."""
        self.main.choose_system_menu_entry(1)
        return wait_for(self.popup, "the About box")

    def read(self, address=None):
        if address is not None:
            self.set_text(SENSOR_ADDRESS, str(address))
        self.click(READ)
        self.wait_exchange()

    def expect_quiet(self, bus, what):
        """Longer than a run's 1 s pacing, so a run that goes on, or started by mistake, would show."""
        sent, lines = bus.wire("rx"), self.pane()
        time.sleep(1.5)
        check([bus.wire("rx")[len(sent):], self.pane()], [[], lines], f"requests and pane after {what}")


class Context:
    """One scenario's driver, program and buses, all released when it ends."""

    def __init__(self, rig, lang, name):
        self.rig, self.lang, self.name = rig, lang, name
        self.driver = rig.wine.driver(lang, name)
        self.program, self.buses = None, []

    def sim(self, *sensors, com=BUS, link=None):
        bus = simbus.Bus(link or self.rig.wine.com[com], self.rig.wine.logs,
                         *[word for s in sensors for word in ("--sensor", f"{s.address}:{s.settings}")])
        self.buses.append(bus)
        return bus

    def launch(self, version=None):
        self.close_program()
        self.program = Tarvik(self.rig.wine, self.driver, self.rig.exe, self.lang, version)
        return self.program

    def open_bus(self, *sensors):
        bus = self.sim(*sensors)
        ui = self.launch("nt40")
        check(ui.text(PORT), "COM3-->COM3", "port shown")
        ui.click(OPEN)
        check([ui.pane(), ui.buttons()], [["打开COM3成功", ""], [True] * 4], "pane and buttons after opening")
        return ui, bus

    def close_program(self):
        """Closes the program if it still runs; a fresh wineserver ends one that hangs."""
        if self.program and self.program.process.poll() is None:
            try:
                for window in [self.program.popup(), self.program.main]:
                    if window:
                        window.post(wl.WM_CLOSE)
                self.program.process.wait(10)
            except (wl.DriverError, wl.LaunchError, subprocess.TimeoutExpired):
                self.driver.close()
                self.rig.wine.restart()
                self.driver = self.rig.wine.driver(self.lang, self.name)

    def finish(self):
        self.close_program()
        self.driver.close()
        for bus in self.buses:
            bus.stop()
