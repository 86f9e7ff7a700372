"""Writing the two calibration offsets: the exact frame on the wire, the pane's lines for every
outcome, the read that shows the new offset; and a write still awaited when the port closes."""

from rig import (HUM_OFFSET_INPUT, OPEN_BUTTON, PORT_COMBO, READ_BUTTON, SET_HUM_OFFSET_BUTTON,
                 SET_TEMP_OFFSET_BUTTON, TEMP_OFFSET_INPUT, check, scenario, wait_for)
from sensor_bus import (BAD_LENGTH_LINE, BUS_PORT, SENSOR_1, Sensor, button_states, open_bus, pane, read_outs,
                        replies, requests, wait_exchange_over, with_crc)

# The offset each write sets: its input, its button and the text written.
TEMPERATURE = (TEMP_OFFSET_INPUT, SET_TEMP_OFFSET_BUTTON, "-2.5")
HUMIDITY = (HUM_OFFSET_INPUT, SET_HUM_OFFSET_BUTTON, "12.3")
# Sensor 1 once those two are written.
CALIBRATED = Sensor(1, "", [0x00E1, 0x0243, 0x8019, 0x007B, 1, 0x1A, 0x10, 0x12],
                    ["22.5 ", "57.9 ", "-2.5", "12.3", "1", "1A", "10", "12"])


def write(ui, bus, offset):
    """Writes the offset; returns the one frame that went on the wire."""
    field, button, text = offset
    ui.set_text(field, text)
    sent = len(requests(bus))
    ui.click(button)
    wait_exchange_over(ui)
    frames = requests(bus)[sent:]
    check(len(frames), 1, f"frames on the wire for writing {text}")
    return frames[0]


def check_outcome(ui, lines, what):
    check(pane(ui), ["您输入的地址为：1", "正在设置地址为：1 的设备.", *lines, ""], f"pane after {what}")
    check(button_states(ui), [True] * 4, f"command buttons after {what}")


@scenario("offset writes: the frames, success and the read that shows them, every failure", com=(BUS_PORT,))
def offset_writes(ctx):
    ui, bus = open_bus(ctx, SENSOR_1)
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)

    temperature_frame = with_crc(bytes.fromhex("01 06 00 02 80 19"))
    check(write(ui, bus, TEMPERATURE), temperature_frame, "temperature offset request")
    check_outcome(ui, ["温度偏移设置成功！"], "writing the temperature offset")
    check(read_outs(ui), SENSOR_1.read_outs, "read-outs after a write")

    humidity_frame = with_crc(bytes.fromhex("01 06 00 03 00 7B"))
    check(write(ui, bus, HUMIDITY), humidity_frame, "humidity offset request")
    check_outcome(ui, ["湿度偏移设置成功！"], "writing the humidity offset")
    check(replies(bus)[-2:], [temperature_frame, humidity_frame], "the sensor's echoes")

    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    check(pane(ui)[2:], [*CALIBRATED.block(), ""], "pane of the read after the writes")
    check(read_outs(ui), CALIBRATED.read_outs, "read-outs after the writes")

    # Each fault spoils the echo of one write; the sensor keeps its offsets meanwhile.
    failures = [
        ("echo-reg", TEMPERATURE, ["温度偏移设置不正确！"]),
        ("echo-reg", HUMIDITY, ["湿度偏移设置不正确！"]),
        ("echo-crc", TEMPERATURE, ["CRC校验不正确！", "温度偏移设置不正确！"]),
        ("echo-crc", HUMIDITY, ["CRC校验不正确！", "湿度偏移设置不正确！"]),
        ("silent", TEMPERATURE, [BAD_LENGTH_LINE]),
        ("silent", HUMIDITY, [BAD_LENGTH_LINE]),
    ]
    for fault, offset, lines in failures:
        bus.command(f"fault 1 {fault}")
        write(ui, bus, offset)
        check_outcome(ui, lines, f"{lines[-1]} with the fault {fault}")
        bus.command("clear 1")


@scenario("offset write: closing the port while its answer is awaited", com=(BUS_PORT,))
def close_during_write(ctx):
    ui, bus = open_bus(ctx, SENSOR_1)
    bus.command("fault 1 silent")
    ui.click(SET_TEMP_OFFSET_BUTTON)
    ui.click(OPEN_BUTTON)
    # The check still runs once against the closed port and reports what it got; the command buttons
    # stay off because the port is closed.
    wait_for(lambda: pane(ui)[-2] == BAD_LENGTH_LINE, "the write check's line")
    check(pane(ui), ["您输入的地址为：1", "正在设置地址为：1 的设备.", "关闭COM3", BAD_LENGTH_LINE, ""],
          "pane after closing with a write pending")
    check(button_states(ui), [False] * 4, "command buttons after the write check")
    check(ui.text(OPEN_BUTTON), "打开串口", "open button caption")
    check(ui.enabled(PORT_COMBO), True, "port combo enabled")
    check(requests(bus), [with_crc(bytes.fromhex("01 06 00 02 00 00"))], "frames on the wire")
