"""The dialog as the operator first sees it, under a Chinese and a non-Chinese locale (the program
converts its code page 936 texts itself, so both read the same); the About box; the keys and the close
box that end it; the port list each way of discovery fills."""

from harness import (C_UTF8, CONTINUOUS, ENUM_KEY, FROM, HUM_INPUT, INFO, OPEN, PORT, READ, READ_OUTS,
                     SENSOR_ADDRESS, SET_HUM, SET_TEMP, TEMP_INPUT, TO, ZH_CN, check, label_texts, rows, scenario,
                     wait_for, wl)

BOTH_LOCALES = (ZH_CN, C_UTF8)
ANSI_CODE_PAGE = {ZH_CN: 936, C_UTF8: 1252}
# (control, text, enabled; None where not asserted)
START_UP = [
    ("continuous button", CONTINUOUS, "连续读开始", False), ("humidity offset button", SET_HUM, "湿度偏移设置", False),
    ("temperature offset button", SET_TEMP, "温度偏移设置", False), ("read button", READ, "读", False),
    ("open button", OPEN, "打开串口", True), ("port combo", PORT, "", True), ("information pane", INFO, "", None),
    ("sensor address", SENSOR_ADDRESS, "1", None), ("range from", FROM, "1", None), ("range to", TO, "2", None),
    ("temperature offset input", TEMP_INPUT, "0", None), ("humidity offset input", HUM_INPUT, "0", None),
] + [(f"read-out {control}", control, "", None) for control in READ_OUTS]
LABELS = ["湿度偏移:", "温度(℃):", "湿度(%RH):", "温度偏移:", "地址:", "类型:", "硬件版本:", "软件版本:", "信息提示:",
          "-" * 67, "传感器地址:", "从--------到"]


def has_focus(ui, control):
    focus = ui.main.focus()
    return focus == ui[control] or focus.info()["parent"] == ui[control].hwnd


@scenario("start-up state", langs=BOTH_LOCALES)
def start_up_state(ctx):
    ui = ctx.launch()
    # Under C.UTF-8 a program that left its texts to the system's ANSI code page would show garbage.
    check(ctx.driver("acp"), ANSI_CODE_PAGE[ctx.lang], "ANSI code page of this locale")
    check(ui.main.text(), "Tarvik", "dialog caption")

    def control(name, control, text, enabled):
        check(ui.text(control), text, "text")
        if enabled is not None:
            check(ui.enabled(control), enabled, "enabled")
    rows(START_UP, control)
    check(ui[INFO].send(0xBA), 1, "lines of the empty pane")  # EM_GETLINECOUNT
    check(label_texts(ui.main), LABELS, "labels")
    check(has_focus(ui, PORT), True, "port combo has the focus")
    if ctx.lang == ZH_CN:
        ctx.driver("redraw", ui.main.hwnd)
        wl.screenshot(ctx.rig.wine.display, ui.main.rect(), ctx.rig.wine.root / "screenshots/main-dialog.png")


@scenario("a text of the program's own, in a message box", langs=BOTH_LOCALES)
def program_text(ctx):
    # With no port listed, opening has no selection to open: the invalid-argument error reaches the
    # operator in a message box over the dialog, and the port stays closed.
    ui = ctx.launch()
    check(ctx.driver("acp"), ANSI_CODE_PAGE[ctx.lang], "ANSI code page of this locale")
    check(ui[PORT].send(0x146), 0, "ports listed")  # CB_GETCOUNT
    check(ui.click(OPEN), "modal", "what opening with no selection did")
    box = ui.popup()
    check(box.text(), "Tarvik", "message box caption")
    check(label_texts(box), ["遇到无效参数。"], "message box text")
    check(box.key(wl.VK_RETURN), "gone", "Enter in the message box")
    check([ui.text(OPEN), ui.enabled(READ), ui.text(INFO)], ["打开串口", False, ""], "dialog after the error")


@scenario("system menu: the About entry opens the About box, OK closes it")
def about_box(ctx):
    ui = ctx.launch()
    check(ctx.driver("resstring", wl.windows_path(ctx.rig.exe), 101), "关于 Tarvik(&A)...", "text of the menu entry")
    about = ui.about_box()
    check(about.text(), "关于 Tarvik", "caption of the box the last entry opened")
    check(ui.main.enabled(), False, "main dialog takes input while the About box is open")
    texts = label_texts(about)
    check([len(texts), texts[0]], [2, "Tarvik，1.0 版"], "text lines of the About box")
    ok = next(c for c in about.children() if c.info()["id"] == 1)
    check(ok.text(), "确定", "OK button")
    check(ok.click() not in ("modal", "gone"), True, "clicking OK ends its handler")
    wait_for(lambda: ui.popup() is None, "the About box gone")
    check([ui.main.enabled(), ui.process.poll()], [True, None], "main dialog takes input and runs")


@scenario("Enter leaves the dialog open, Escape and the close box end the program")
def enter_escape_close(ctx):
    ui = ctx.launch()
    check(has_focus(ui, PORT), True, "port combo has the focus")
    check(ui.main.key(wl.VK_RETURN), None, "Enter in the port combo")
    check([ui.process.poll(), ui.text(INFO)], [None, ""], "program running, pane after Enter")
    check(ui.main.key(wl.VK_ESCAPE), "gone", "Escape")
    check(ui.wait_exit(), 0, "exit code after Escape")
    ui = ctx.launch()
    ui.main.send(wl.WM_SYSCOMMAND, 0xF060)  # SC_CLOSE
    check(ui.wait_exit(), 0, "exit code after the close box")


# Keys in the order Wine's registry lists them (alphabetical), so the walk meets them as written.
# COM7 is first found under *PNP0500 and later replaced in place by the USB port of the same name;
# COM5 is listed but cannot be opened; LPT1's device id and *pnp0501's letter case do not match; the
# instance without PORTNAME gives nothing.
WINDOWS_98_ENUM = {
    "BIOS": {
        "*PNP0400": {"00": {"PORTNAME": "LPT1", "FRIENDLYNAME": "Printer Port (LPT1)"}},
        "*PNP0500": {"00": {"PORTNAME": "COM7", "FRIENDLYNAME": "Communications Port (COM7)"}},
        "*PNP0501": {"0D": {"PORTNAME": "COM3", "FRIENDLYNAME": "Communications Port (COM3)"},
                     "0E": {"PORTNAME": "COM5", "FRIENDLYNAME": "Communications Port (COM5)"},
                     "0F": {"FRIENDLYNAME": "Communications Port (COM8)"}},
    },
    "ISAPNP": {"*pnp0501": {"01": {"PORTNAME": "COM3", "FRIENDLYNAME": "Lower Case Port (COM3)"}}},
    "USBPORTS": {"VID_0403&PID_6001": {"0000": {"PORTNAME": "COM7", "FRIENDLYNAME": "USB Serial Port (COM7)"}}},
}
# (Windows version Wine reports, HKLM\Enum present, ports listed, selection, pane)
PORT_LISTS = [
    ("the device installer lists no COM port under Wine", None, False, [], -1, ""),
    ("Windows NT 4.0 finds the attached COM3 and COM7", "nt40", False, ["COM3-->COM3", "COM7-->COM7"], 0, ""),
    ("Windows 98 walks HKLM\\Enum", "win98", True,
     ["COM7-->USB Serial Port (COM7)", "COM3-->Communications Port (COM3)"], 0, ""),
    ("Windows 98 without HKLM\\Enum reports the walk's error", "win98", False, [], -1,
     "Could not read from HKLM\\Enum\r\n"),
]


@scenario("port list at start-up, each way of discovery", com=("COM3", "COM7"))
def port_lists(ctx):
    for com in ("COM3", "COM7"):
        ctx.pty(com)

    def port_list(name, version, enum, ports, selection, pane):
        if enum:
            ctx.registry_tree(ENUM_KEY, WINDOWS_98_ENUM)
        ui = ctx.launch(version)
        listed = [ctx.driver("lbtext", ui[PORT].hwnd, i) for i in range(ui[PORT].send(0x146))]  # CB_GETCOUNT
        check(listed, ports, "port list")
        check(ui[PORT].send(0x147), selection, "selection")  # CB_GETCURSEL
        check(ui.text(PORT), ports[0] if ports else "", "combo text")
        check(ui.text(INFO), pane, "information pane")
        if enum:
            ctx.driver("regdelete", ENUM_KEY)
    rows(PORT_LISTS, port_list)
