"""The port, single reads and offset writes with every way the answer can be wrong, the inputs'
refusals and filter: exact lines, read-outs, buttons and the frames on the wire."""

import os
import subprocess
import termios

import simbus
from harness import (BAD_LENGTH, BUS, CONTINUOUS, FROM, HUM_INPUT, OPEN, PORT, READ, SENSOR_1, SENSOR_ADDRESS, SET_HUM,
                     SET_TEMP, START, TEMP_INPUT, TO, Sensor, check, read_reply, read_request, rows, scenario, wait_for,
                     with_crc)

CLOSED = ["打开串口", True, [False] * 4, START]
OPENED = ["关闭串口", False, [True] * 4, START]


def port_state(ui):
    return [ui.text(OPEN), ui.enabled(PORT), ui.buttons(), ui.text(CONTINUOUS)]


def read_lines(address, outcome):
    return [f"您输入的地址为：{address}", f"正在读取地址为：{address} 的设备.", *outcome, ""]


# The extremes of the register formats: negative zero, the largest magnitudes, four hex digits.
EXTREMES = Sensor(63, "r0=0x8000,r1=0xFFFF,r2=0x7FFF,r3=0x8001,r4=0xFFFF,r5=0xFFFF,r6=0,r7=0x0100",
                  [0x8000, 0xFFFF, 0x7FFF, 0x8001, 0xFFFF, 0xFFFF, 0, 0x0100],
                  ["-0.0 ", "-3276.7 ", "3276.7", "-0.1", "65535", "FFFF", "0", "100"])
WARMER = Sensor(1, "temp=30.0", [0x011D, *SENSOR_1.registers[1:]], ["28.5 ", *SENSOR_1.read_outs[1:]])
GOOD = SENSOR_1.reply
BAD_FORMAT = "接收数据格式不正确！"
# (simulator command, address read, outcome lines, read-outs after, frames the sensor sent). A fault keeps
# the last good read-outs; 600 ms is past the 200 ms check: a late reply or half comes after it.
READS = [
    ("clear 1", 1, SENSOR_1.block(), SENSOR_1.read_outs, [GOOD]),
    ("clear 63", 63, EXTREMES.block(), EXTREMES.read_outs, [EXTREMES.reply]),
    ("clear 1", 1, SENSOR_1.block(), SENSOR_1.read_outs, [GOOD]),
    ("fault 1 silent", 1, [BAD_LENGTH], SENSOR_1.read_outs, []),
    ("fault 1 address", 1, ["接收地址不正确！"], SENSOR_1.read_outs, [read_reply(2, SENSOR_1.registers)]),
    ("fault 1 crc-low", 1, ["CRC校验不正确！"], SENSOR_1.read_outs, [GOOD[:19] + bytes([GOOD[19] ^ 0xFF, GOOD[20]])]),
    ("fault 1 crc-high", 1, ["CRC校验不正确！"], SENSOR_1.read_outs, [GOOD[:20] + bytes([GOOD[20] ^ 0xFF])]),
    ("fault 1 function", 1, [BAD_FORMAT], SENSOR_1.read_outs, [with_crc(GOOD[:1] + b"\x04" + GOOD[2:19])]),
    ("fault 1 byte-count 17", 1, [BAD_FORMAT], SENSOR_1.read_outs, [with_crc(GOOD[:2] + b"\x11" + GOOD[3:19])]),
    ("fault 1 noise 3", 1, [BAD_LENGTH], SENSOR_1.read_outs, [b"\xff\xff\xff", GOOD]),
    ("fault 1 exception", 1, [BAD_LENGTH], SENSOR_1.read_outs, [with_crc([1, 0x83, 4])]),
    ("fault 1 short", 1, [BAD_LENGTH], SENSOR_1.read_outs, [GOOD[:-1]]),
    ("fault 1 long", 1, [BAD_LENGTH], SENSOR_1.read_outs, [GOOD + b"\0"]),
    ("fault 1 split 600", 1, [BAD_LENGTH], SENSOR_1.read_outs, [GOOD[:10], GOOD[10:]]),
    ("fault 1 late 600", 1, [BAD_LENGTH], SENSOR_1.read_outs, [GOOD]),
    ("clear 1", 1, SENSOR_1.block(), SENSOR_1.read_outs, [GOOD]),  # the request before it drained them
    # At most 2048 bytes are taken; the next read is clean.
    ("fault 1 flood 3000", 1, [BAD_LENGTH], SENSOR_1.read_outs, [bytes(i & 0xFF for i in range(3000))]),
    (f"set 1 {WARMER.settings}", 1, WARMER.block(), WARMER.read_outs, [WARMER.reply]),
]


@scenario("port: open and close COM3, a port that cannot be opened, an adapter that vanished; then reads of "
          "eight registers and every fault of the answer", com=(BUS,))
def port_and_reads(ctx):
    rowed = {command.split()[2] for command, *_ in READS if command.startswith("fault")} | {f for f, *_ in WRITES}
    check([kind for kind in simbus.fault_kinds() if kind not in rowed], [], "faults of the simulator with no row")
    bus = ctx.sim(SENSOR_1, EXTREMES)
    ui = ctx.launch("nt40")
    check(port_state(ui), CLOSED, "controls at start")
    ui.click(OPEN)
    check([ui.pane(), port_state(ui)], [["打开COM3成功", ""], OPENED], "after opening")
    ui.click(OPEN)
    check([ui.pane(), port_state(ui), bus.wire()], [["打开COM3成功", "关闭COM3", ""], CLOSED, []], "after closing")
    bus("vanish")
    link = ctx.rig.wine.com[BUS]
    link.symlink_to(link.parent, target_is_directory=True)  # COM3 now leads to no device
    ui.click(OPEN)
    link.unlink()
    check([ui.pane()[2:], port_state(ui)], [["打开COM失败!", ""], CLOSED], "after a failed open")
    # Wine keeps the COM device of an adapter that is gone, so the open itself succeeds; the port then
    # refuses its line settings and is closed again.
    ui.click(OPEN)
    check([ui.pane()[2:], port_state(ui)], [["打开COM失败!", "打开COM失败!", ""], CLOSED], "adapter gone")
    bus("return")
    ui.click(OPEN)
    ui.read()
    check([ui.pane(), bus.wire("rx")], [read_lines(1, SENSOR_1.block()), [read_request(1)]], "adapter back")
    check(read_request(1), bytes.fromhex("01 03 00 00 00 08 44 0C"), "the request for address 1")

    def read(command, address, outcome, read_outs, reply_frames):
        wire = bus.wire() + [("rx", read_request(address))] + [("tx", frame) for frame in reply_frames]
        bus(command)
        ui.read(address)
        check([ui.pane(), ui.read_outs(), ui.buttons()], [read_lines(address, outcome), read_outs, [True] * 4],
              "pane, read-outs, buttons")
        wait_for(lambda: len(bus.wire()) >= len(wire), "the sensor's frames")
        bus("clear 1")
        check(bus.wire(), wire, "frames on the wire, in order")
    rows(READS, read)


TEMPERATURE = ("temperature", TEMP_INPUT, SET_TEMP, "-2.5", with_crc(bytes.fromhex("01 06 00 02 80 19")))
HUMIDITY = ("humidity", HUM_INPUT, SET_HUM, "12.3", with_crc(bytes.fromhex("01 06 00 03 00 7B")))
CALIBRATED = Sensor(1, "", [0x00E1, 0x0243, 0x8019, 0x007B, 1, 0x1A, 0x10, 0x12],
                    ["22.5 ", "57.9 ", "-2.5", "12.3", "1", "1A", "10", "12"])
# (fault, offset, outcome lines). The sensor keeps its offsets meanwhile; the read-outs stay.
TEMP_FAILED, HUM_FAILED = "温度偏移设置不正确！", "湿度偏移设置不正确！"
WRITES = [
    ("", TEMPERATURE, ["温度偏移设置成功！"]), ("", HUMIDITY, ["湿度偏移设置成功！"]),
    ("echo-reg", TEMPERATURE, [TEMP_FAILED]), ("echo-reg", HUMIDITY, [HUM_FAILED]),
    ("echo-crc", TEMPERATURE, ["CRC校验不正确！", TEMP_FAILED]), ("echo-crc", HUMIDITY, ["CRC校验不正确！", HUM_FAILED]),
    ("silent", TEMPERATURE, [BAD_LENGTH]), ("silent", HUMIDITY, [BAD_LENGTH]),
    ("exception", TEMPERATURE, [BAD_LENGTH]), ("exception", HUMIDITY, [BAD_LENGTH]),
    ("address", TEMPERATURE, [TEMP_FAILED]), ("echo-value", HUMIDITY, [HUM_FAILED]),  # not the exact echo
]


@scenario("offset writes: the frames, success and the read that shows them, every failure, closing meanwhile",
          com=(BUS,))
def offset_writes(ctx):
    ui, bus = ctx.open_bus(SENSOR_1)
    ui.read(1)

    def write(fault, offset, lines):
        name, field, button, text, frame = offset
        bus(f"fault 1 {fault}" if fault else "clear 1")
        ui.set_text(field, text)
        sent, shown = len(bus.wire("rx")), ui.read_outs()
        ui.click(button)
        ui.wait_exchange()
        check(bus.wire("rx")[sent:], [frame], "request")
        check([ui.pane(), ui.buttons(), ui.read_outs()],
              [["您输入的地址为：1", "正在设置地址为：1 的设备.", *lines, ""], [True] * 4, shown], "pane, buttons, read-outs")
        bus("clear 1")
        if not fault:
            wait_for(lambda: bus.wire("tx")[-1] == frame, "the sensor's echo")
    rows(WRITES[:2], write)
    ui.read()
    check([ui.pane()[2:], ui.read_outs()], [[*CALIBRATED.block(), ""], CALIBRATED.read_outs], "read after the writes")
    rows(WRITES[2:], write)
    # Closed while a write's answer is awaited: the close ends the exchange, so no line follows it and the
    # buttons stay off; the next read after a reopen is clean.
    bus("fault 1 silent")
    sent = len(bus.wire("rx"))
    ui.click(SET_TEMP)
    ui.click(OPEN)
    bus.wait_requests(sent + 1)  # written before the close, it may reach the simulator's log after it
    ui.expect_quiet(bus, "the close")
    check([ui.pane(), port_state(ui), bus.wire("rx")[-1]],
          [["您输入的地址为：1", "正在设置地址为：1 的设备.", "关闭COM3", ""], CLOSED, TEMPERATURE[4]], "closed")
    bus("clear 1")
    ui.click(OPEN)
    ui.read()
    check(ui.pane(), read_lines(1, CALIBRATED.block()), "the read after the reopen")


RANGE = "输入范围为：0到63"
VALID = {SENSOR_ADDRESS: "1", TEMP_INPUT: "5", HUM_INPUT: "5", FROM: "1", TO: "2"}
# (button, inputs that differ from VALID, "paste" when the first is pasted, the pane after the refusal).
# Each command's first line clears the pane, so each row also shows whether its lines were appended.
REFUSALS = [
    ("read", {SENSOR_ADDRESS: ""}, "", ["输入地址不能为空！"]),
    ("read", {SENSOR_ADDRESS: "64"}, "", ["地址输入不合法！", RANGE]),
    ("read", {SENSOR_ADDRESS: "-1"}, "paste", ["地址输入不合法！", RANGE]),
    ("temperature", {TEMP_INPUT: ""}, "", ["输入温度偏移不能为空！"]),
    ("temperature", {TEMP_INPUT: "10.1"}, "", ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    ("temperature", {TEMP_INPUT: "-10.1"}, "", ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    # An accepted offset's echo is wiped by the address refusal after it.
    ("temperature", {SENSOR_ADDRESS: ""}, "", ["输入地址不能为空！"]),
    ("temperature", {SENSOR_ADDRESS: "64"}, "", ["地址输入不合法！", RANGE]),
    ("humidity", {HUM_INPUT: ""}, "", ["输入湿度偏移不能为空！"]),
    ("humidity", {HUM_INPUT: "25.1"}, "", ["湿度偏移输入不合法！", "输入范围为：-25.0到25.0"]),
    ("humidity", {HUM_INPUT: "-25.1"}, "", ["湿度偏移输入不合法！", "输入范围为：-25.0到25.0"]),
    ("humidity", {SENSOR_ADDRESS: "-1"}, "paste", ["地址输入不合法！", RANGE]),
    ("continuous", {FROM: ""}, "", ["输入起始地址不能为空！"]),
    ("continuous", {FROM: "64"}, "", ["起始地址输入不合法！", RANGE]),
    ("continuous", {TO: ""}, "", ["您输入的起始地址为：1", "输入结束地址不能为空！"]),
    ("continuous", {TO: "64"}, "", ["您输入的起始地址为：1", "结束地址输入不合法！", RANGE]),
    ("continuous", {FROM: "-1"}, "paste", ["起始地址输入不合法！", RANGE]),
    ("continuous", {TO: "-1"}, "paste", ["您输入的起始地址为：1", "结束地址输入不合法！", RANGE]),
    # Texts that state no number: an address of anything but digits, an offset without a digit.
    ("read", {SENSOR_ADDRESS: "ab"}, "paste", ["地址输入不合法！", RANGE]),
    ("temperature", {SENSOR_ADDRESS: " 1"}, "paste", ["地址输入不合法！", RANGE]),
    ("temperature", {TEMP_INPUT: "-"}, "", ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    ("temperature", {TEMP_INPUT: "-."}, "", ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    ("humidity", {HUM_INPUT: "."}, "", ["湿度偏移输入不合法！", "输入范围为：-25.0到25.0"]),
    ("continuous", {FROM: "x"}, "paste", ["起始地址输入不合法！", RANGE]),
    ("continuous", {TO: "1 "}, "paste", ["您输入的起始地址为：1", "结束地址输入不合法！", RANGE]),
    ("continuous", {FROM: "6", TO: "5"}, "", ["您输入的起始地址为：6", "您输入的结束地址为：5", "结束地址不能小于起始地址！"]),
]
# (input, typed, pasted or set, text, what the input then holds). A typed character the filter removes
# leaves the caret at the start, where the next one lands. Another program can set 20,000 bytes of text
# (a pattern of 10 code page 936 bytes, 2,000 times) past the 5-character limit: filtered all the same.
FILTERED = [
    (TEMP_INPUT, "type", "12x3", "312"), (TEMP_INPUT, "type", "1.2.3", "31.2"), (TEMP_INPUT, "type", "a-1", "-1"),
    (TEMP_INPUT, "type", "5中", "5"), (TEMP_INPUT, "type", "-.5", "-.5"), (TEMP_INPUT, "paste", "1.2.3", "1.23"),
    (TEMP_INPUT, "paste", "a-1", "1"), (TEMP_INPUT, "paste", "5中", "5"), (TEMP_INPUT, "paste", "..5", ".5"),
    (TEMP_INPUT, "paste", "-12.345", "-12.3"), (HUM_INPUT, "type", "中2", "2"), (HUM_INPUT, "paste", "--5", "-5"),
    (HUM_INPUT, "paste", "5-", "5"), (HUM_INPUT, "paste", "a-1", "1"),
    (TEMP_INPUT, "set_text", "-1.a中2-.3" * 2000, "-1.23" + "123" * 1999),
    (HUM_INPUT, "set_text", "x-.5中.-9a" * 2000, ".59" + "59" * 1999),
]
BUTTONS = {"read": READ, "temperature": SET_TEMP, "humidity": SET_HUM, "continuous": CONTINUOUS}
WRITTEN = {"temperature": "温度偏移设置成功！", "humidity": "湿度偏移设置成功！"}
# (button, inputs that differ from VALID, the address read or the register and word written): the edges of
# every range are taken; a tenth or one beyond them is refused above. Addresses 0 and 63 are silent.
EDGES = [
    ("read", {SENSOR_ADDRESS: "0"}, 0), ("read", {SENSOR_ADDRESS: "63"}, 63),
    ("temperature", {TEMP_INPUT: "-10.0"}, (2, 0x8064)), ("temperature", {TEMP_INPUT: "10.0"}, (2, 0x0064)),
    ("humidity", {HUM_INPUT: "-25.0"}, (3, 0x80FA)), ("humidity", {HUM_INPUT: "25.0"}, (3, 0x00FA)),
    ("continuous", {FROM: "0", TO: "0"}, 0), ("continuous", {FROM: "63", TO: "63"}, 63),
]


def edge_outcome(button, address_or_write):
    """The request and the pane's first lines of an accepted command."""
    if button == "read":
        return read_request(address_or_write), read_lines(address_or_write, [BAD_LENGTH])
    if button == "continuous":
        address = address_or_write
        return read_request(address), [f"您输入的起始地址为：{address}", f"您输入的结束地址为：{address}",
                                       f"正在读取地址为：{address} 的设备."]
    register, word = address_or_write
    return (with_crc(bytes([1, 6, 0, register, word >> 8, word & 0xFF])),
            ["您输入的地址为：1", "正在设置地址为：1 的设备.", WRITTEN[button], ""])


@scenario("inputs: refusals with their lines, nothing sent, nothing changed; the offset filter; each range's "
          "edges taken", com=(BUS,))
def refusals(ctx):
    ui, bus = ctx.open_bus(SENSOR_1)

    def refusal(button, changes, how, lines):
        inputs = {**VALID, **changes}
        for control, text in inputs.items():
            ui.set_text(control, "" if how and control in changes else text)
        if how:
            ui[next(iter(changes))].paste(next(iter(changes.values())))
        ui.click(BUTTONS[button])
        check([ui.pane(), ui.buttons(), ui.text(CONTINUOUS)], [[*lines, ""], [True] * 4, START], "pane, buttons")
        check([ui.text(c) for c in inputs], list(inputs.values()), "inputs kept")
    rows(REFUSALS, refusal)

    def filtered(control, how, text, expected):
        ui.set_text(control, "")
        getattr(ui[control], how)(text)
        check(ui.text(control), expected, f"{how} {text[:20]!r}")
    rows(FILTERED, filtered)
    ui.expect_quiet(bus, "the refusals")
    check([ui.pane(), bus.wire(), ui.text(OPEN), ui.read_outs()], [[*REFUSALS[-1][3], ""], [], "关闭串口", [""] * 8],
          "pane of the last refusal, wire, port, read-outs")

    def edge(button, changes, address_or_write):
        request, lines = edge_outcome(button, address_or_write)
        for control, text in {**VALID, **changes}.items():
            ui.set_text(control, text)
        sent = len(bus.wire("rx"))
        ui.click(BUTTONS[button])
        if button == "continuous":
            bus.wait_requests(sent + 1)
            ui.click(CONTINUOUS)  # while the read is awaited
        else:
            ui.wait_exchange()
        check([ui.pane()[:len(lines)], bus.wire("rx")[sent:]], [lines, [request]], "pane and the request")
    rows(EDGES, edge)




# Registers whose bytes hold the XON and XOFF characters (0x11, 0x13) and NULs.
FLOW_BYTES = Sensor(1, "r0=0x0011,r1=0x0013,r2=0x1100,r3=0x1300,r5=0x1113,r6=0x0013,r7=0x1100",
                    [0x0011, 0x0013, 0x1100, 0x1300, 1, 0x1113, 0x0013, 0x1100],
                    ["1.7 ", "1.9 ", "435.2", "486.4", "1", "1113", "13", "1100"])


@scenario("read: a line state another program left (XON/XOFF, RTS/CTS) takes no byte of the reply; the "
          "terminal then holds the program's", com=(BUS,))
def careless_line_state(ctx):
    bus = ctx.sim(FLOW_BYTES)
    # Wine reads the speed, the stop bits, ixon, ixoff and crtscts into the line state and writes back what
    # the program sets; the other input flags here it resets itself. (A pseudo-terminal keeps 8 bits, no parity.)
    subprocess.run(["stty", "-F", bus.path, "19200", "cstopb", "ixon", "ixoff", "ixany", "crtscts",
                    "istrip", "icrnl", "inlcr", "igncr", "parmrk", "inpck"], check=True)
    ui = ctx.launch("nt40")
    ui.click(OPEN)
    ui.read(1)
    check([ui.pane(), ui.read_outs()], [read_lines(1, FLOW_BYTES.block()), FLOW_BYTES.read_outs], "pane, read-outs")
    terminal = os.open(bus.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(terminal)
    finally:
        os.close(terminal)
    check([ispeed, ospeed, cflag & termios.CSTOPB, cflag & termios.CRTSCTS, iflag & (termios.IXON | termios.IXOFF)],
          [termios.B9600, termios.B9600, 0, 0, 0], "speed, stop bits, RTS/CTS and XON/XOFF of the terminal while the "
          "program holds it")
