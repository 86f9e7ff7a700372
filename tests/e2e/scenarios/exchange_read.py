"""Reading one sensor: the request on the wire, the pane's lines, the eight read-outs; and every way
the answer can be wrong, after which the read-outs keep what the last good read showed."""

from rig import READ_BUTTON, SENSOR_ADDRESS_EDIT, check, scenario, wait_for
from sensor_bus import (BAD_LENGTH_LINE, BUS_PORT, SENSOR_1, Sensor, button_states, open_bus, pane, read_outs,
                        read_reply, read_request, replies, requests, wait_exchange_over)

# The extremes of the register formats: negative zero, the largest magnitudes, four hex digits.
EXTREMES = Sensor(63, "r0=0x8000,r1=0xFFFF,r2=0x7FFF,r3=0x8001,r4=0xFFFF,r5=0xFFFF,r6=0,r7=0x0100",
                  [0x8000, 0xFFFF, 0x7FFF, 0x8001, 0xFFFF, 0xFFFF, 0, 0x0100],
                  ["-0.0 ", "-3276.7 ", "3276.7", "-0.1", "65535", "FFFF", "0", "100"])
# Past the 200 ms check: a split reply's second half and a late reply arrive after it.
GAP_MS = 600
# Sensor 1 once its base temperature has risen to 30.0.
WARMER = Sensor(1, "temp=30.0", [0x011D, *SENSOR_1.registers[1:]], ["28.5 ", *SENSOR_1.read_outs[1:]])


def read(ui, address):
    ui.set_text(SENSOR_ADDRESS_EDIT, str(address))
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)


def check_read(ui, bus, sensor, outcome, what):
    """The pane after one read of `sensor` ended with `outcome` (its lines), and the buttons back."""
    check(pane(ui), [f"您输入的地址为：{sensor.address}", sensor.request_line(), *outcome, ""], f"pane after {what}")
    check(requests(bus)[-1], read_request(sensor.address), f"last request after {what}")
    check(button_states(ui), [True] * 4, f"command buttons after {what}")


@scenario("read: one sensor's eight registers, in the read-outs and the pane", com=(BUS_PORT,))
def read_success(ctx):
    ui, bus = open_bus(ctx, SENSOR_1, EXTREMES)
    read(ui, 1)
    check_read(ui, bus, SENSOR_1, SENSOR_1.block(), "reading address 1")
    check(read_outs(ui), SENSOR_1.read_outs, "read-outs of address 1")
    check(requests(bus), [bytes.fromhex("01 03 00 00 00 08 44 0C")], "request for address 1")
    check(replies(bus), [SENSOR_1.reply()], "reply of address 1")

    read(ui, 63)
    check_read(ui, bus, EXTREMES, EXTREMES.block(), "reading address 63")
    check(read_outs(ui), EXTREMES.read_outs, "read-outs of address 63")


@scenario("read: no answer, another address, bad CRC, split and late replies", com=(BUS_PORT,))
def read_failures(ctx):
    ui, bus = open_bus(ctx, SENSOR_1)
    read(ui, 1)
    good = SENSOR_1.reply()
    wire = [("rx", read_request(1)), ("tx", good)]

    failures = [
        ("silent", BAD_LENGTH_LINE, []),
        ("address", "接收地址不正确！", [read_reply(2, SENSOR_1.registers)]),
        ("crc-low", "CRC校验不正确！", [good[:19] + bytes([good[19] ^ 0xFF, good[20]])]),
        ("crc-high", "CRC校验不正确！", [good[:20] + bytes([good[20] ^ 0xFF])]),
        (f"split {GAP_MS}", BAD_LENGTH_LINE, [good[:10], good[10:]]),
        # The next request drains the late reply and is not taken in by it.
        (f"late {GAP_MS}", BAD_LENGTH_LINE, [good]),
    ]
    for fault, line, reply_frames in failures:
        bus.command(f"fault 1 {fault}")
        sent = len(replies(bus))
        read(ui, 1)
        check_read(ui, bus, SENSOR_1, [line], f"a read with the fault {fault}")
        check(read_outs(ui), SENSOR_1.read_outs, f"read-outs kept after the fault {fault}")
        wait_for(lambda: len(replies(bus)) - sent >= len(reply_frames), f"the replies with the fault {fault}")
        bus.command("clear 1")
        wire += [("rx", read_request(1))] + [("tx", frame) for frame in reply_frames]

    bus.command(f"set 1 {WARMER.settings}")
    read(ui, 1)
    check_read(ui, bus, WARMER, WARMER.block(), "the read after the late reply")
    check(read_outs(ui), WARMER.read_outs, "read-outs after the late reply")
    wire += [("rx", read_request(1)), ("tx", WARMER.reply())]
    check([(direction, octets) for _, direction, octets in bus.frames()], wire, "frames on the wire, in order")
