"""What the scenarios share: Tarvik.exe's controls, the simulated bus behind COM3 with its frame log,
the frames computed here on their own, the checks, and one scenario's world, released at its end."""

import socket
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools/winelaunch"))
import winelaunch as wl  # noqa: E402

REPO = wl.REPO
ZH_CN, C_UTF8 = "zh_CN.UTF-8", "C.UTF-8"
# Control ids of the main dialog (res/resource.h).
PORT = 1000
(CONTINUOUS, SET_HUM, SET_TEMP, ADDRESS, TEMP_OFFSET, TEMPERATURE, INFO, TEMP_INPUT, TYPE, HUM_INPUT, HUM_OFFSET,
 HUMIDITY, OPEN, HW_VERSION, SW_VERSION) = range(1002, 1017)
FROM, READ, TO, SENSOR_ADDRESS = 1018, 1019, 1020, 1021
COMMANDS = (CONTINUOUS, SET_HUM, SET_TEMP, READ)
READ_OUTS = (TEMPERATURE, HUMIDITY, TEMP_OFFSET, HUM_OFFSET, ADDRESS, TYPE, HW_VERSION, SW_VERSION)
BUS = "COM3"
BAD_LENGTH = "接收数据长度不正确！"
START, STOP = "连续读开始", "连续读停止"
ENUM_KEY = "HKLM\\Enum"


class Failure(Exception):
    pass


def check(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def wait_for(condition, what, ceiling=20.0):
    try:
        return wl.wait_for(condition, what, ceiling)
    except TimeoutError as error:
        raise Failure(str(error)) from None


def rows(table, run):
    """Runs `run(*row)` for every row; a failure names the row by its first cell."""
    for row in table:
        try:
            run(*row)
        except (Failure, wl.DriverError) as error:
            raise Failure(f"[{row[0]}] {error}") from None


SCENARIOS = []


def scenario(title, com=(), langs=(ZH_CN,)):
    """Registers a scenario: it runs once per locale with Wine mapping exactly `com`."""
    def register(function):
        SCENARIOS.append((title, function, tuple(sorted(com)), langs))
        return function
    return register


# ---------------------------------------------------------------------------------------------------
# Frames and sensors

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

    def reply(self):
        return read_reply(self.address, self.registers)

    def request_line(self):
        return f"正在读取地址为：{self.address} 的设备."

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


class Sim:
    """tarvik-sim behind a link path, with its control socket and frame log."""

    def __init__(self, link, logs, *args):
        self.control, self.log = logs / f"{link.name}.sim.sock", logs / f"{link.name}.frames"
        self.log.unlink(missing_ok=True)
        self.process = subprocess.Popen(
            [str(REPO / "build/host/tools/sim/tarvik-sim"), "--link", str(link), "--control", str(self.control),
             "--log", str(self.log), "--no-drift", *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        self.path = self.process.stdout.readline().decode().strip()
        wait_for(lambda: self.path and self.control.exists(), "the simulator's control socket", 10)

    def __call__(self, line):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            connection.settimeout(10)
            connection.connect(str(self.control))
            connection.sendall((line + "\n").encode())
            reply = connection.makefile().readline().strip()
        if not reply.startswith("ok"):
            raise Failure(f"simulator refused {line!r}: {reply}")
        return reply[3:]

    def frames(self, direction=None):
        """(direction, bytes) of every frame so far, or the bytes of one direction ("rx" requests)."""
        lines = [line.split() for line in self.log.read_text().splitlines()] if self.log.exists() else []
        frames = [(d, bytes(int(o, 16) for o in octets)) for _, d, *octets in lines]
        return frames if direction is None else [f for d, f in frames if d == direction]

    def wait_requests(self, count, ceiling=20.0):
        """Polls closely, so a scenario can act while the last request's answer is still awaited."""
        deadline = time.monotonic() + ceiling
        while len(sent := self.frames("rx")) < count:
            if time.monotonic() > deadline:
                raise Failure(f"{count} requests on the wire: not within {ceiling:g} s, saw {len(sent)}")
            time.sleep(0.005)
        return sent

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class PtyPair:
    def __init__(self, link, log):
        self.process = subprocess.Popen(["socat", f"pty,raw,echo=0,link={link}", f"pty,raw,echo=0,link={link}.peer"],
                                        stdout=log, stderr=log)
        wait_for(lambda: link.exists(), f"pseudo-terminal at {link}", 10)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


# ---------------------------------------------------------------------------------------------------
# Tarvik.exe

class Tarvik:
    """The running program: its main dialog's controls by id, and what the operator sees."""

    def __init__(self, ctx, version):
        self.ctx = ctx
        self.process = ctx.rig.wine.run([wl.windows_path(ctx.rig.exe)], ctx.lang, version,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.main = wl.find_window(ctx.driver, "Tarvik", process=self.process)
        if self.main is None:
            raise Failure(f"Tarvik.exe ended at start with {self.process.returncode}")
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

    def read_outs(self):
        return [self.text(c) for c in READ_OUTS]

    def buttons(self):
        return [self.enabled(c) for c in COMMANDS]

    def popup(self):
        dialogs = self.main.dialogs()
        return dialogs[0] if dialogs else None

    def about_box(self):
        """Opens the About box by the system menu's last entry, reached from the top with one step up
        as a keyboard user does (menus of another process cannot be read under Wine)."""
        self.main.post(wl.WM_SYSCOMMAND, 0xF100, 0x20)  # SC_KEYMENU, Alt+Space
        driver = self.ctx.driver
        wait_for(lambda: any(driver("info", w)["class"] == "#32768" for w in driver("windows")), "the menu")
        for vk in (wl.VK_UP, wl.VK_RETURN):
            self.main.post(wl.WM_KEYDOWN, vk, 1)
            self.main.post(wl.WM_KEYUP, vk, 0xC0000001)
        return wait_for(self.popup, "the About box")

    def wait_exit(self, ceiling=20.0):
        try:
            return self.process.wait(ceiling)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program still runs after {ceiling:g} s") from None

    def read(self, address=None):
        """A single read of `address` (the one in the input when None); waits until it ended."""
        if address is not None:
            self.set_text(SENSOR_ADDRESS, str(address))
        self.click(READ)
        self.wait_exchange()

    def wait_exchange(self):
        wait_for(lambda: self.enabled(READ), "the command buttons back after the exchange")

    def expect_quiet(self, bus, seconds, what):
        """Nothing goes on the wire nor into the pane for `seconds`."""
        sent, lines = bus.frames("rx"), self.pane()
        time.sleep(seconds)
        check(bus.frames("rx")[len(sent):], [], f"requests after {what}")
        check(self.pane(), lines, f"pane after {what}")


def label_texts(window):
    """The texts of the static controls that show text (icons and blanks left out), in order."""
    infos = [c.info() for c in window.children()]
    return [i["text"] for i in infos if i["class"] == "Static" and i["style"] & 0x1F != 0x3 and i["text"]]


class Context:
    """One scenario's driver, program, ports and registry keys, all released when it ends."""

    def __init__(self, rig, lang, name):
        self.rig, self.lang, self.name = rig, lang, name
        self._driver, self.program, self.backings, self.keys = None, None, [], []

    @property
    def driver(self):
        if self._driver is None:
            self._driver = self.rig.wine.driver(self.lang, self.name)
        return self._driver

    def link(self, com):
        if com not in (self.rig.wine.com or {}):
            raise Failure(f"{com} is not among the scenario's COM ports")
        return self.rig.ttys / com

    def sim(self, *sensors, com=BUS):
        bus = Sim(self.link(com), self.rig.wine.logs,
                  *[w for s in sensors for w in ("--sensor", f"{s.address}:{s.settings}")])
        self.backings.append(bus)
        return bus

    def pty(self, com):
        with open(self.rig.wine.logs / f"{self.name}.socat.log", "a") as log:
            self.backings.append(PtyPair(self.link(com), log))

    def launch(self, version=None):
        self.close_program()
        self.program = Tarvik(self, version)
        return self.program

    def open_bus(self, *sensors):
        """The simulated bus with exactly `sensors` behind COM3, found by name, the port opened."""
        bus = self.sim(*sensors)
        ui = self.launch("nt40")
        check(ui.text(PORT), "COM3-->COM3", "port shown")
        ui.click(OPEN)
        check(ui.pane(), ["打开COM3成功", ""], "pane after opening")
        check(ui.buttons(), [True] * 4, "command buttons after opening")
        return ui, bus

    def registry_tree(self, root, tree):
        def write(key, node):
            for name, value in node.items():
                write(f"{key}\\{name}", value) if isinstance(value, dict) else self.driver("regset", key, name, value)
        write(root, tree)
        self.keys.append(root)

    def close_program(self):
        """Closes the program if it still runs; a fresh wineserver ends one that hangs."""
        if self.program and self.program.process.poll() is None:
            try:
                for window in [self.program.popup(), self.program.main]:
                    if window:
                        window.post(wl.WM_CLOSE)
                self.program.process.wait(10)
            except (wl.DriverError, wl.LaunchError, subprocess.TimeoutExpired):
                self.rig.restart_wine()
                self._driver = None

    def finish(self):
        self.close_program()
        for key in self.keys:
            self.driver("regdelete", key)
        if self._driver:
            self._driver.close()
        for backing in self.backings:
            backing.stop()
