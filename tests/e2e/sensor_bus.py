"""What the exchange scenarios, the run command and the timing benchmark share: the Modbus RTU frames
of a sensor's master, computed here on their own and not taken from the program; simulated sensors
with exact readings and what the program shows for them; and the set-up every exchange starts from:
a simulated bus behind COM3, Tarvik.exe finding it by name (Wine reporting Windows NT 4.0), the port
opened."""

import time

from rig import (ADDRESS_EDIT, CONTINUOUS_BUTTON, HUM_OFFSET_EDIT, HUMIDITY_EDIT, HW_VERSION_EDIT, INFO_EDIT,
                 OPEN_BUTTON, PORT_COMBO, READ_BUTTON, SET_HUM_OFFSET_BUTTON, SET_TEMP_OFFSET_BUTTON,
                 SW_VERSION_EDIT, TEMP_OFFSET_EDIT, TEMPERATURE_EDIT, TYPE_EDIT, ScenarioFailure, check,
                 wait_for)

BUS_PORT = "COM3"
# Enabled and disabled together by the commands, in this order.
COMMAND_BUTTONS = (CONTINUOUS_BUTTON, SET_HUM_OFFSET_BUTTON, SET_TEMP_OFFSET_BUTTON, READ_BUTTON)
# The read-outs of registers 0 to 7.
READ_OUTS = (TEMPERATURE_EDIT, HUMIDITY_EDIT, TEMP_OFFSET_EDIT, HUM_OFFSET_EDIT, ADDRESS_EDIT, TYPE_EDIT,
             HW_VERSION_EDIT, SW_VERSION_EDIT)
START_CAPTION = "连续读开始"
STOP_CAPTION = "连续读停止"
BAD_LENGTH_LINE = "接收数据长度不正确！"
READ_HOLDING_REGISTERS = 0x03


# ---------------------------------------------------------------------------------------------------
# Frames

def crc16_modbus(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(body):
    return bytes(body) + crc16_modbus(body).to_bytes(2, "little")


def read_request(address):
    """All eight registers, from register 0."""
    return with_crc([address, READ_HOLDING_REGISTERS, 0, 0, 0, 8])


def read_reply(address, registers):
    return with_crc(bytes([address, READ_HOLDING_REGISTERS, 2 * len(registers)])
                    + b"".join(r.to_bytes(2, "big") for r in registers))


# ---------------------------------------------------------------------------------------------------
# Sensors

class Sensor:
    """A simulated sensor: its tarvik-sim settings, the eight registers it then reports, and the texts
    the program shows for them in the read-outs, registers 0 to 7."""

    def __init__(self, address, settings, registers, read_outs):
        self.address = address
        self.settings = settings
        self.registers = registers
        self.read_outs = read_outs

    def option(self):
        return ("--sensor", f"{self.address}:{self.settings}")

    def reply(self):
        return read_reply(self.address, self.registers)

    def request_line(self):
        return f"正在读取地址为：{self.address} 的设备."

    def block(self):
        """The lines of a successful read in the pane, its empty last line included."""
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


# ---------------------------------------------------------------------------------------------------
# Watching the program and the wire

def pane(ui):
    """The information pane's lines; the last is the empty one after the final line end."""
    return ui.text(INFO_EDIT).split("\r\n")


def read_outs(ui):
    return [ui.text(field) for field in READ_OUTS]


def button_states(ui):
    return [ui.enabled(button) for button in COMMAND_BUTTONS]


def requests(bus):
    """The frames the program put on the wire so far, in order."""
    return [octets for _, direction, octets in bus.frames() if direction == "rx"]


def replies(bus):
    return [octets for _, direction, octets in bus.frames() if direction == "tx"]


def wait_requests(bus, count, ceiling=20.0):
    """Polls the frame log closely until `count` requests have gone out; returns them. Close enough
    that a scenario can act while the last request's answer is still awaited (200 ms)."""
    deadline = time.monotonic() + ceiling
    while True:
        sent = requests(bus)
        if len(sent) >= count:
            return sent
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"{count} requests on the wire: not within {ceiling:g} s, saw {len(sent)}")
        time.sleep(0.005)


def wait_exchange_over(ui):
    """A single read or write has ended when its check gives the command buttons back."""
    wait_for(lambda: ui.enabled(READ_BUTTON), "the command buttons back after the exchange")


def expect_quiet(ui, bus, seconds, what):
    """Nothing goes on the wire and nothing is written to the pane for `seconds` (longer than the
    program's 1 s pacing): how a scenario sees that something stopped."""
    sent, lines = requests(bus), pane(ui)
    time.sleep(seconds)
    check(requests(bus)[len(sent):], [], f"requests after {what}")
    check(pane(ui), lines, f"pane after {what}")


def open_bus(ctx, *sensors):
    """Starts the simulator behind COM3 with exactly `sensors` and no drift, launches the program and
    opens the port; returns the driver and the bus."""
    options = [word for sensor in sensors for word in sensor.option()]
    bus = ctx.sim(BUS_PORT, "--no-drift", *options)
    ctx.windows_version("nt40")
    ui = ctx.launch()
    check(ui.text(PORT_COMBO), "COM3-->COM3", "port shown")
    ui.click(OPEN_BUTTON)
    check(pane(ui), ["打开COM3成功", ""], "pane after opening")
    check(button_states(ui), [True] * 4, "command buttons after opening")
    return ui, bus
