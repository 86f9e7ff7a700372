"""The continuous read: a range read in turn once a second; stopping and ending it while a read is
awaited; bus faults during a run; the About box over it; a pane that passes 200 lines."""

import time

from harness import (ABSENT_3, BAD_LENGTH, BUS, CONTINUOUS, EM_GETLINECOUNT, INFO, OPEN, PORT, READ, SC_CLOSE,
                     SENSOR_1, SENSOR_2, SENSOR_ADDRESS, SET_TEMP, START, STOP, TO, Sensor, check, read_request, rows,
                     scenario, wait_for, wl)

REFUSED = ["写串口失败", BAD_LENGTH]
# Readings whose log lines wrap in the pane, so it fills sooner.
WIDE = Sensor(1, ",".join(f"r{n}=0xFFFF" for n in range(8)), [0xFFFF] * 8,
              ["-3276.7 ", "-3276.7 ", "-3276.7", "-3276.7", "65535", "FFFF", "FFFF", "FFFF"])


def run_lines(start, end, outcomes, awaited=None):
    """The pane of a run: the range's echo, each read's request line and outcome, a read still awaited."""
    lines = [f"您输入的起始地址为：{start}", f"您输入的结束地址为：{end}"]
    lines += [line for sensor, outcome in outcomes for line in (sensor.request_line, *outcome)]
    return lines + ([awaited.request_line] if awaited else [])


def start_run(ui, to):
    ui.set_text(TO, str(to))
    ui.click(CONTINUOUS)
    check([ui.text(CONTINUOUS), ui.buttons()], [STOP, [True, False, False, False]], "caption and buttons running")


@scenario("continuous read: 1 to 3 in turn with no sensor at 3, stopped and closed while a read is awaited",
          com=(BUS,))
def run_stop_and_close(ctx):
    ui, bus = ctx.open_bus(SENSOR_1, SENSOR_2)
    started = time.monotonic()
    start_run(ui, 3)
    order = [SENSOR_1, SENSOR_2, ABSENT_3] * 2 + [SENSOR_1]
    bus.wait_requests(len(order), ceiling=30)
    ui.click(CONTINUOUS)  # at once, while the last request's answer is awaited
    window = time.monotonic() - started
    check(bus.wire("rx"), [read_request(s.address) for s in order], "requests, in order")
    check(len(order) <= window + 2, True, f"at most one request a second ({len(order)} in {window:.1f} s)")
    check([ui.text(CONTINUOUS), ui.buttons()], [START, [True] * 4], "caption and buttons after stopping")
    ui.expect_quiet(bus, "stopping")
    # The abandoned read's answer came, but only the last read that was checked shows.
    outcomes = [(s, [BAD_LENGTH] if s is ABSENT_3 else s.block()) for s in order[:-1]]
    check([ui.pane(), bus.wire("tx"), ui.read_outs()], [[*run_lines(1, 3, outcomes, order[-1]), ""],
          [s.reply for s in order if s is not ABSENT_3], SENSOR_2.read_outs], "pane, replies, read-outs after stopping")
    sent = len(bus.wire("rx"))
    ui.click(CONTINUOUS)
    bus.wait_requests(sent + 2)
    ui.click(OPEN)
    check([ui.text(CONTINUOUS), ui.buttons(), ui.enabled(PORT)], [START, [False] * 4, True], "after closing")
    ui.expect_quiet(bus, "closing the port")
    check([ui.pane(), bus.wire("rx")[sent:]], [[*run_lines(1, 3, [(SENSOR_1, SENSOR_1.block())], SENSOR_2),
                                                "关闭COM3", ""], [read_request(1), read_request(2)]], "closed run")
    # The close ended the run: after a reopen a single read gives every command button back.
    ui.click(OPEN)
    ui.set_text(SENSOR_ADDRESS, "1")
    ui.click(READ)
    lines = ["您输入的地址为：1", SENSOR_1.request_line, *SENSOR_1.block(), ""]
    wait_for(lambda: ui.pane() == lines, f"the pane {lines}")
    check([ui.text(CONTINUOUS), ui.buttons(), bus.wire("rx")[sent + 2:]], [START, [True] * 4, [read_request(1)]],
          "caption, buttons and request of the read after the reopen")


# (where sensor 1's reply, too late for its own check, lands in a run over 1..2; its delay; the run's
# outcomes; read-outs after; the direction and frames on the wire). While sensor 2's answer is awaited
# it fails that read too (the two replies cross on the line); before sensor 2's request it is drained
# with it. Sensor 1's late data never shows.
LATE = [
    ("in sensor 2's read", 1050, [(SENSOR_1, [BAD_LENGTH]), (SENSOR_2, [BAD_LENGTH])] * 2, [""] * 8, "rx",
     [read_request(1), read_request(2)] * 2),
    ("before sensor 2's request", 550, [(SENSOR_1, [BAD_LENGTH]), (SENSOR_2, SENSOR_2.block())] * 2,
     SENSOR_2.read_outs, None,
     [("rx", read_request(1)), ("tx", SENSOR_1.reply), ("rx", read_request(2)), ("tx", SENSOR_2.reply)] * 2),
]


@scenario("continuous read: a late reply landing in the next read or drained before it, a line that vanishes "
          "and returns, the About box open meanwhile", com=(BUS,))
def late_and_vanished(ctx):
    ui, bus = ctx.open_bus(SENSOR_1, SENSOR_2)

    def late(name, delay, outcomes, read_outs, direction, frames):
        before = len(bus.wire(direction))
        bus(f"fault 1 late {delay}")
        start_run(ui, 2)
        lines = [*run_lines(1, 2, outcomes), ""]
        wait_for(lambda: ui.pane() == lines, f"the pane {lines}", 10)
        ui.click(CONTINUOUS)
        ui.expect_quiet(bus, "stopping")  # and the last late reply is in
        check([ui.read_outs(), bus.wire(direction)[before:before + len(frames)]], [read_outs, frames],
              "read-outs, frames on the wire")
    rows(LATE, late)
    # The line goes while a run goes on: each second a request line and its failure lines, no hang.
    sent = len(bus.wire("rx"))
    bus("clear 1")
    bus("vanish")
    began = time.monotonic()
    ui.click(CONTINUOUS)
    gone = run_lines(1, 2, [(SENSOR_1, REFUSED), (SENSOR_2, REFUSED), (SENSOR_1, REFUSED)])
    wait_for(lambda: ui.pane()[:11] == gone, f"the pane {gone}", 10)
    check(time.monotonic() - began > 1.8, True, "at most one request a second")
    bus("return")
    ui.click(CONTINUOUS)
    check([ui.text(CONTINUOUS), ui.buttons()], [START, [True] * 4], "caption and buttons after stopping")
    check(bus.wire("rx")[sent:], [], "requests while the line is gone")
    ui.click(OPEN)
    ui.click(OPEN)
    ui.read(1)
    check(ui.pane()[2:], [*SENSOR_1.block(), ""], "read after close and reopen")
    # The About box open during a run: requests go on once a second, and after OK the run goes on.
    start_run(ui, 2)
    about = ui.about_box()
    sent = len(bus.wire("rx"))
    bus.wait_requests(sent + 2, ceiling=3)
    about.item(1).click()
    wait_for(lambda: ui.popup() is None, "the About box gone")
    bus.wait_requests(sent + 4)
    check(ui.text(CONTINUOUS), STOP, "the run goes on after OK")


# (the operator's way out, the command whose answer is awaited): the program ends within 2 s, exit code 0.
WAYS_OUT = {"Escape": lambda ui: ui.main.key(wl.VK_ESCAPE, receiver=ui[INFO]),
            "the close box": lambda ui: ui.main.send(wl.WM_SYSCOMMAND, SC_CLOSE)}
ENDINGS = [(f"{way} while {what} is awaited", WAYS_OUT[way], button) for way in WAYS_OUT
           for what, button in (("a read", READ), ("a write", SET_TEMP), ("a continuous read", CONTINUOUS))]


@scenario("Escape and the close box while a read, a write and a continuous read are awaited", com=(BUS,))
def end_while_awaited(ctx):
    _, bus = ctx.open_bus(SENSOR_1)
    bus("fault 1 silent")

    def end(name, way_out, button):
        ui, sent = ctx.program, len(bus.wire("rx"))
        ui.click(button)
        bus.wait_requests(sent + 1)
        way_out(ui)
        check(ui.process.wait(2), 0, "exit code")
        ui = ctx.launch("nt40")
        ui.click(OPEN)
        check(ui.pane(), ["打开COM3成功", ""], "pane after relaunch and open")
    rows(ENDINGS, end)


@scenario("continuous read: one address until the pane passes 200 lines and starts again", com=(BUS,))
def pane_restarts(ctx):
    ui, bus = ctx.open_bus(WIDE)
    start_run(ui, 1)

    def past_200_lines_after_a_check():
        lines = ui.pane()
        # Still the run's pane, and its last line so far is a check's: the next line is a request's.
        return lines[:2] == run_lines(1, 1, []) and lines[-2] == "" and ui[INFO].send(EM_GETLINECOUNT) > 200 and lines
    lines = wait_for(past_200_lines_after_a_check, "a pane of more than 200 lines", ceiling=60)
    reads = lines.count(WIDE.request_line)
    check(lines, [*run_lines(1, 1, [(WIDE, WIDE.block())] * reads), ""], "pane of the long run")
    check(bus.wire("rx"), [read_request(1)] * reads, "requests of the long run")
    # The next line, the next request's, stands alone; the request goes out right after it is written.
    bus.wait_requests(reads + 1)
    check([ui[INFO].send(EM_GETLINECOUNT), ui.pane()], [2, [WIDE.request_line, ""]], "pane after passing 200 lines")
    block = [WIDE.request_line, *WIDE.block()]
    wait_for(lambda: ui.pane()[:len(block)] == block, "the read's block below it")


# (rows the pane has, the line the open button then writes, the pane after it): a line is added below 200
# rows; past them the pane starts afresh with it. The rows are short lines another program set there.
PANE_EDGE = [
    (200, "关闭COM3", [*map(str, range(1, 200)), "关闭COM3", ""]),
    (201, "打开COM3成功", ["打开COM3成功", ""]),
]


@scenario("pane: the next line below 200 rows, afresh past them", com=(BUS,))
def pane_edge(ctx):
    ui, _ = ctx.open_bus(SENSOR_1)

    def edge(rows_before, line, pane):
        ui.set_text(INFO, "".join(f"{n}\r\n" for n in range(1, rows_before)))
        check(ui[INFO].send(EM_GETLINECOUNT), rows_before, "rows before")
        ui.click(OPEN)
        check(ui.pane(), pane, f"pane after {line}")
    rows(PANE_EDGE, edge)
