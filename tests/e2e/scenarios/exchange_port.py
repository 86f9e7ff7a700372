"""Opening and closing the port a simulated bus stands behind: the pane's lines and the controls that
follow the port's state, a port that cannot be opened, one whose adapter went away, and the port list
that refreshes when it drops down."""

from rig import CONTINUOUS_BUTTON, OPEN_BUTTON, PORT_COMBO, READ_BUTTON, check, scenario
from sensor_bus import (BAD_LENGTH_LINE, BUS_PORT, SENSOR_1, START_CAPTION, button_states, pane, read_request,
                        requests, wait_exchange_over)


def check_closed(ui, what):
    check(ui.text(OPEN_BUTTON), "打开串口", f"open button caption {what}")
    check(ui.enabled(PORT_COMBO), True, f"port combo enabled {what}")
    check(button_states(ui), [False] * 4, f"command buttons {what}")
    check(ui.text(CONTINUOUS_BUTTON), START_CAPTION, f"continuous button caption {what}")


def check_open(ui, what):
    check(ui.text(OPEN_BUTTON), "关闭串口", f"open button caption {what}")
    check(ui.enabled(PORT_COMBO), False, f"port combo enabled {what}")
    check(button_states(ui), [True] * 4, f"command buttons {what}")
    check(ui.text(CONTINUOUS_BUTTON), START_CAPTION, f"continuous button caption {what}")


@scenario("port: open and close COM3, a port that cannot be opened, an adapter that vanished", com=(BUS_PORT,))
def open_and_close(ctx):
    bus = ctx.sim(BUS_PORT, "--no-drift", *SENSOR_1.option())
    ctx.windows_version("nt40")
    ui = ctx.launch()
    check_closed(ui, "at start")

    ui.click(OPEN_BUTTON)
    check(pane(ui), ["打开COM3成功", ""], "pane after opening")
    check_open(ui, "after opening")
    ui.click(OPEN_BUTTON)
    check(pane(ui), ["打开COM3成功", "关闭COM3", ""], "pane after closing")
    check_closed(ui, "after closing")
    check(requests(bus), [], "frames on the wire from opening and closing")

    # COM3 now leads to a path that names no device.
    bus.command("vanish")
    link = ctx.rig.wine.link(BUS_PORT)
    link.symlink_to(ctx.rig.wine.ttys, target_is_directory=True)
    try:
        ui.click(OPEN_BUTTON)
    finally:
        link.unlink()
    check(pane(ui), ["打开COM3成功", "关闭COM3", "打开COM失败!", ""], "pane after a failed open")
    check_closed(ui, "after a failed open")

    # Wine keeps the COM device of an adapter that is gone, so the open succeeds; the request's write
    # is refused, and the exchange still ends with its check.
    ui.click(OPEN_BUTTON)
    check(ui.text(OPEN_BUTTON), "关闭串口", "open button caption with the adapter gone")
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    check(pane(ui), ["您输入的地址为：1", "正在读取地址为：1 的设备.", "写串口失败", BAD_LENGTH_LINE, ""],
          "pane after a read with the adapter gone")
    check(button_states(ui), [True] * 4, "command buttons after the refused write")
    ui.click(OPEN_BUTTON)

    bus.command("return")
    ui.click(OPEN_BUTTON)
    ui.click(READ_BUTTON)
    wait_exchange_over(ui)
    check(pane(ui), ["您输入的地址为：1", SENSOR_1.request_line(), *SENSOR_1.block(), ""],
          "pane after a read with the adapter back")
    check(requests(bus), [read_request(1)], "frames on the wire")


@scenario("port: dropping the list down refreshes it and selects the first port", com=(BUS_PORT, "COM7"))
def drop_down_refresh(ctx):
    ctx.sim(BUS_PORT, "--no-drift")
    ctx.pty("COM7")
    ctx.windows_version("nt40")
    ui = ctx.launch()
    ports = ["COM3-->COM3", "COM7-->COM7"]
    check(ui.items(PORT_COMBO), ports, "port list")
    ui.select(PORT_COMBO, 1)
    check(ui.text(PORT_COMBO), "COM7-->COM7", "combo text after choosing the second port")
    # The chosen entry is the port that opens.
    ui.click(OPEN_BUTTON)
    ui.click(OPEN_BUTTON)
    check(pane(ui), ["打开COM7成功", "关闭COM7", ""], "pane after opening and closing the chosen port")

    ui.drop_down(PORT_COMBO)
    check(ui.dropped(PORT_COMBO), True, "list dropped down")
    check(ui.items(PORT_COMBO), ports, "refreshed port list")
    check(ui.selection(PORT_COMBO), 0, "selection after the refresh")
    ui.close_up(PORT_COMBO)
    check(ui.text(PORT_COMBO), "COM3-->COM3", "combo text after the refresh")
    ui.click(OPEN_BUTTON)
    check(pane(ui)[-2:], ["打开COM3成功", ""], "pane after opening the first port again")
