"""Exchanges with the simulated bus behind COM3: the port, single reads and offset writes with every
way the answer can be wrong, exact lines, read-outs, buttons and the frames on the wire."""

from harness import (BAD_LENGTH, BUS, CONTINUOUS, HUM_INPUT, OPEN, PORT, READ, SENSOR_1, SET_HUM, SET_TEMP, START,
                     TEMP_INPUT, Sensor, check, read_reply, read_request, rows, scenario, wait_for, with_crc)


def port_state(ui):
    return [ui.text(OPEN), ui.enabled(PORT), ui.buttons(), ui.text(CONTINUOUS)]


CLOSED = ["打开串口", True, [False] * 4, START]
OPENED = ["关闭串口", False, [True] * 4, START]


@scenario("port: open and close COM3, a port that cannot be opened, an adapter that vanished", com=(BUS,))
def open_and_close(ctx):
    bus = ctx.sim(SENSOR_1)
    ui = ctx.launch("nt40")
    check(port_state(ui), CLOSED, "controls at start")
    ui.click(OPEN)
    check([ui.pane(), port_state(ui)], [["打开COM3成功", ""], OPENED], "after opening")
    ui.click(OPEN)
    check([ui.pane(), port_state(ui)], [["打开COM3成功", "关闭COM3", ""], CLOSED], "after closing")
    check(bus.frames(), [], "frames on the wire from opening and closing")

    # COM3 now leads to a path that names no device.
    bus("vanish")
    link = ctx.link(BUS)
    link.symlink_to(link.parent, target_is_directory=True)
    try:
        ui.click(OPEN)
    finally:
        link.unlink()
    check([ui.pane()[2:], port_state(ui)], [["打开COM失败!", ""], CLOSED], "after a failed open")

    # Wine keeps the COM device of an adapter that is gone, so the open succeeds; the request's write
    # is refused, and the exchange still ends with its check.
    ui.click(OPEN)
    check(ui.text(OPEN), "关闭串口", "open button caption with the adapter gone")
    ui.read()
    check([ui.pane(), ui.buttons()], [["您输入的地址为：1", SENSOR_1.request_line(), "写串口失败", BAD_LENGTH, ""],
                                      [True] * 4], "after a read with the adapter gone")
    ui.click(OPEN)
    bus("return")
    ui.click(OPEN)
    ui.read()
    check(ui.pane(), ["您输入的地址为：1", SENSOR_1.request_line(), *SENSOR_1.block(), ""], "read with the adapter back")
    check(bus.frames("rx"), [read_request(1)], "frames on the wire")


@scenario("port: dropping the list down refreshes it and selects the first port", com=(BUS, "COM7"))
def drop_down_refresh(ctx):
    ctx.sim()
    ctx.pty("COM7")
    ui = ctx.launch("nt40")
    ports = ["COM3-->COM3", "COM7-->COM7"]

    def listed():
        return [ctx.driver("lbtext", ui[PORT].hwnd, i) for i in range(ui[PORT].send(0x146))]  # CB_GETCOUNT
    check(listed(), ports, "port list")
    ui[PORT].send(0x14E, 1)  # CB_SETCURSEL
    check(ui.text(PORT), "COM7-->COM7", "combo text after choosing the second port")
    ui.click(OPEN)
    ui.click(OPEN)
    check(ui.pane(), ["打开COM7成功", "关闭COM7", ""], "pane after opening and closing the chosen port")
    ui[PORT].send(0x14F, 1)  # CB_SHOWDROPDOWN
    check(ui[PORT].send(0x157), 1, "list dropped down")  # CB_GETDROPPEDSTATE
    check([listed(), ui[PORT].send(0x147)], [ports, 0], "refreshed port list and its selection")  # CB_GETCURSEL
    ui[PORT].send(0x14F, 0)
    check(ui.text(PORT), "COM3-->COM3", "combo text after the refresh")
    ui.click(OPEN)
    check(ui.pane()[-2:], ["打开COM3成功", ""], "pane after opening the first port again")


# The extremes of the register formats: negative zero, the largest magnitudes, four hex digits.
EXTREMES = Sensor(63, "r0=0x8000,r1=0xFFFF,r2=0x7FFF,r3=0x8001,r4=0xFFFF,r5=0xFFFF,r6=0,r7=0x0100",
                  [0x8000, 0xFFFF, 0x7FFF, 0x8001, 0xFFFF, 0xFFFF, 0, 0x0100],
                  ["-0.0 ", "-3276.7 ", "3276.7", "-0.1", "65535", "FFFF", "0", "100"])
# Sensor 1 once its base temperature has risen to 30.0.
WARMER = Sensor(1, "temp=30.0", [0x011D, *SENSOR_1.registers[1:]], ["28.5 ", *SENSOR_1.read_outs[1:]])
GOOD = SENSOR_1.reply()
# Past the 200 ms check: a split reply's second half and a late reply arrive after it.
GAP_MS = 600
# (fault, the read's outcome line, the frames the sensor sent). The read-outs keep the last good read.
READ_FAULTS = [
    ("silent", BAD_LENGTH, []),
    ("address", "接收地址不正确！", [read_reply(2, SENSOR_1.registers)]),
    ("crc-low", "CRC校验不正确！", [GOOD[:19] + bytes([GOOD[19] ^ 0xFF, GOOD[20]])]),
    ("crc-high", "CRC校验不正确！", [GOOD[:20] + bytes([GOOD[20] ^ 0xFF])]),
    (f"split {GAP_MS}", BAD_LENGTH, [GOOD[:10], GOOD[10:]]),
    # The next request drains the late reply and is not taken in by it.
    (f"late {GAP_MS}", BAD_LENGTH, [GOOD]),
    ("noise 3", BAD_LENGTH, [b"\xff\xff\xff", GOOD]),
    ("exception", BAD_LENGTH, [with_crc([1, 0x83, 4])]),
    ("short", BAD_LENGTH, [GOOD[:-1]]),
    ("long", BAD_LENGTH, [GOOD + b"\0"]),
    # At most 2048 bytes are taken; the next read is clean.
    ("flood 3000", BAD_LENGTH, [bytes(i & 0xFF for i in range(3000))]),
]


@scenario("read: eight registers, then every fault of the answer", com=(BUS,))
def reads(ctx):
    ui, bus = ctx.open_bus(SENSOR_1, EXTREMES)
    for sensor in (SENSOR_1, EXTREMES):
        ui.read(sensor.address)
        check(ui.pane(), [f"您输入的地址为：{sensor.address}", sensor.request_line(), *sensor.block(), ""],
              f"pane after reading {sensor.address}")
        check([ui.read_outs(), ui.buttons()], [sensor.read_outs, [True] * 4], f"after reading {sensor.address}")
    check(bus.frames(), [("rx", bytes.fromhex("01 03 00 00 00 08 44 0C")), ("tx", GOOD),
                         ("rx", read_request(63)), ("tx", EXTREMES.reply())], "frames on the wire")
    ui.read(1)
    wire = bus.frames()

    def read_fault(fault, line, reply_frames):
        bus(f"fault 1 {fault}")
        ui.read(1)
        check(ui.pane(), ["您输入的地址为：1", SENSOR_1.request_line(), line, ""], "pane")
        check([ui.read_outs(), ui.buttons()], [SENSOR_1.read_outs, [True] * 4], "read-outs kept, buttons back")
        wire.extend([("rx", read_request(1))] + [("tx", frame) for frame in reply_frames])
        wait_for(lambda: len(bus.frames()) >= len(wire), "the fault's replies")
        bus("clear 1")
        check(bus.frames(), wire, "frames on the wire, in order")
    rows(READ_FAULTS, read_fault)

    bus(f"set 1 {WARMER.settings}")
    ui.read(1)
    check([ui.pane()[2:], ui.read_outs()], [[*WARMER.block(), ""], WARMER.read_outs], "the read after the faults")
    check(bus.frames()[len(wire):], [("rx", read_request(1)), ("tx", WARMER.reply())], "its frames")


TEMPERATURE = ("temperature", TEMP_INPUT, SET_TEMP, "-2.5", with_crc(bytes.fromhex("01 06 00 02 80 19")))
HUMIDITY = ("humidity", HUM_INPUT, SET_HUM, "12.3", with_crc(bytes.fromhex("01 06 00 03 00 7B")))
# Sensor 1 once those two are written.
CALIBRATED = Sensor(1, "", [0x00E1, 0x0243, 0x8019, 0x007B, 1, 0x1A, 0x10, 0x12],
                    ["22.5 ", "57.9 ", "-2.5", "12.3", "1", "1A", "10", "12"])
# (fault, offset, outcome lines) after the success of each; the sensor keeps its offsets meanwhile.
WRITES = [
    ("", TEMPERATURE, ["温度偏移设置成功！"]),
    ("", HUMIDITY, ["湿度偏移设置成功！"]),
    ("echo-reg", TEMPERATURE, ["温度偏移设置不正确！"]),
    ("echo-reg", HUMIDITY, ["湿度偏移设置不正确！"]),
    ("echo-crc", TEMPERATURE, ["CRC校验不正确！", "温度偏移设置不正确！"]),
    ("echo-crc", HUMIDITY, ["CRC校验不正确！", "湿度偏移设置不正确！"]),
    ("silent", TEMPERATURE, [BAD_LENGTH]),
    ("silent", HUMIDITY, [BAD_LENGTH]),
    ("exception", TEMPERATURE, [BAD_LENGTH]),
    ("exception", HUMIDITY, [BAD_LENGTH]),
]


@scenario("offset writes: the frames, success and the read that shows them, every failure", com=(BUS,))
def offset_writes(ctx):
    ui, bus = ctx.open_bus(SENSOR_1)
    ui.read(1)

    def write(fault, offset, lines):
        name, field, button, text, frame = offset
        if fault:
            bus(f"fault 1 {fault}")
        ui.set_text(field, text)
        sent, shown = len(bus.frames("rx")), ui.read_outs()
        ui.click(button)
        ui.wait_exchange()
        check(bus.frames("rx")[sent:], [frame], f"{name} offset request")
        check([ui.pane(), ui.buttons()], [["您输入的地址为：1", "正在设置地址为：1 的设备.", *lines, ""], [True] * 4],
              f"{name} offset write")
        check(ui.read_outs(), shown, "read-outs after a write")
        bus("clear 1")
        if not fault:
            wait_for(lambda: bus.frames("tx")[-1] == frame, "the sensor's echo")
    rows(WRITES[:2], write)
    ui.read()
    check([ui.pane()[2:], ui.read_outs()], [[*CALIBRATED.block(), ""], CALIBRATED.read_outs], "read after the writes")
    rows(WRITES[2:], write)


@scenario("offset write: closing the port while its answer is awaited", com=(BUS,))
def close_during_write(ctx):
    ui, bus = ctx.open_bus(SENSOR_1)
    bus("fault 1 silent")
    ui.click(SET_TEMP)
    ui.click(OPEN)
    # The check still runs once against the closed port and reports what it got; the command buttons
    # stay off because the port is closed.
    wait_for(lambda: ui.pane()[-2] == BAD_LENGTH, "the write check's line")
    check(ui.pane(), ["您输入的地址为：1", "正在设置地址为：1 的设备.", "关闭COM3", BAD_LENGTH, ""], "pane")
    check(port_state(ui), CLOSED, "controls after the write check")
    check(bus.frames("rx"), [with_crc(bytes.fromhex("01 06 00 02 00 00"))], "frames on the wire")
