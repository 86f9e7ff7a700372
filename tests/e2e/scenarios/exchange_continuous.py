"""The continuous read: a range read in turn once a second, with the caption and the buttons it shows
while it runs; stopping it and closing the port under it while a read is awaited; and a long run that
fills the pane past its 200 lines."""

import time

from rig import (CONTINUOUS_BUTTON, INFO_EDIT, OPEN_BUTTON, PORT_COMBO, RANGE_TO_EDIT, check,
                 scenario, wait_for)
from sensor_bus import (BAD_LENGTH_LINE, BUS_PORT, SENSOR_1, SENSOR_2, START_CAPTION, STOP_CAPTION, Sensor,
                        button_states, expect_quiet, open_bus, pane, read_outs, read_request, replies, requests,
                        wait_requests)

# Longer than the 1 s pacing: a run that goes on would show in it.
QUIET_S = 1.5
# Readings whose log lines are long enough to wrap in the pane, so it fills sooner.
WIDE = Sensor(1, ",".join(f"r{n}=0xFFFF" for n in range(8)), [0xFFFF] * 8,
              ["-3276.7 ", "-3276.7 ", "-3276.7", "-3276.7", "65535", "FFFF", "FFFF", "FFFF"])


def echo(start, end):
    return [f"您输入的起始地址为：{start}", f"您输入的结束地址为：{end}"]


def logged_run(outcomes, awaited=None):
    """The pane's lines for a run's reads: each request line and the lines of its outcome, then the
    request line of a read still awaited."""
    lines = []
    for sensor, outcome in outcomes:
        lines += [sensor.request_line(), *outcome]
    if awaited:
        lines.append(awaited.request_line())
    return lines


@scenario("continuous read: 1 to 3 in turn with no sensor at 3, stopped and closed while a read is awaited",
          com=(BUS_PORT,))
def run_stop_and_close(ctx):
    ui, bus = open_bus(ctx, SENSOR_1, SENSOR_2)
    absent = Sensor(3, "", [], [])
    ui.set_text(RANGE_TO_EDIT, "3")
    started = time.monotonic()
    ui.click(CONTINUOUS_BUTTON)
    check(ui.text(CONTINUOUS_BUTTON), STOP_CAPTION, "continuous button caption while running")
    check(button_states(ui), [True, False, False, False], "command buttons while running")

    order = [SENSOR_1, SENSOR_2, absent] * 2 + [SENSOR_1]
    wait_requests(bus, len(order), ceiling=30)
    # At once, while the last request's answer is awaited.
    ui.click(CONTINUOUS_BUTTON)
    window = time.monotonic() - started
    check(requests(bus), [read_request(sensor.address) for sensor in order], "requests, in order")
    # The first goes out at once, the others one a second: never more than that in the window.
    check(len(order) <= window + 2, True, f"at most one request a second ({len(order)} in {window:.1f} s)")
    check(ui.text(CONTINUOUS_BUTTON), START_CAPTION, "continuous button caption after stopping")
    check(button_states(ui), [True] * 4, "command buttons after stopping")
    outcomes = [(s, [BAD_LENGTH_LINE] if s is absent else s.block()) for s in order[:-1]]
    expect_quiet(ui, bus, QUIET_S, "stopping")
    check(pane(ui), [*echo(1, 3), *logged_run(outcomes, awaited=order[-1]), ""], "pane after stopping")
    check(replies(bus), [s.reply() for s in order if s is not absent], "replies")
    # The abandoned read's answer came, but only the last read that was checked shows.
    check(read_outs(ui), SENSOR_2.read_outs, "read-outs after stopping")

    sent = len(requests(bus))
    ui.click(CONTINUOUS_BUTTON)
    wait_requests(bus, sent + 2)
    ui.click(OPEN_BUTTON)
    check(ui.text(CONTINUOUS_BUTTON), START_CAPTION, "continuous button caption after closing")
    check(button_states(ui), [False] * 4, "command buttons after closing")
    check(ui.enabled(PORT_COMBO), True, "port combo enabled after closing")
    expect_quiet(ui, bus, QUIET_S, "closing the port")
    check(pane(ui), [*echo(1, 3), *logged_run([(SENSOR_1, SENSOR_1.block())], awaited=SENSOR_2), "关闭COM3", ""],
          "pane after closing during the run")
    check(requests(bus)[sent:], [read_request(1), read_request(2)], "requests of the closed run")


@scenario("continuous read: one address every second until the pane passes 200 lines and starts again",
          com=(BUS_PORT,))
def pane_restarts(ctx):
    ui, bus = open_bus(ctx, WIDE)
    ui.set_text(RANGE_TO_EDIT, "1")
    ui.click(CONTINUOUS_BUTTON)

    def past_200_lines_after_a_check():
        lines = pane(ui)
        # Still the run's pane, and its last line so far is a check's: the next line is a request's.
        if lines[:2] != echo(1, 1) or lines[-2] != "":
            return None
        return ui.lines(INFO_EDIT) > 200 and lines

    lines = wait_for(past_200_lines_after_a_check, "a pane of more than 200 lines", ceiling=60)
    reads = lines.count(WIDE.request_line())
    check(lines, [*echo(1, 1), *logged_run([(WIDE, WIDE.block())] * reads), ""], "pane of the long run")
    check(requests(bus), [read_request(1)] * reads, "requests of the long run")
    # The next line, the next request's, stands alone; the request goes out right after it is written.
    wait_requests(bus, reads + 1)
    check(ui.lines(INFO_EDIT), 2, "lines after passing 200")
    check(pane(ui), [WIDE.request_line(), ""], "pane after passing 200 lines")
    block = [WIDE.request_line(), *WIDE.block()]
    wait_for(lambda: pane(ui)[:len(block)] == block, "the read's block below it")
