"""The dialog as first seen under a Chinese and a non-Chinese locale (the program converts its code
page 936 texts itself); the About box; the keys that end it; the port list each discovery fills."""

from harness import (C_UTF8, CB_GETCURSEL, CONTINUOUS, EM_GETLINECOUNT, ENUM_KEY, FROM, HUM_INPUT, INFO, OPEN, PORT,
                     READ, READ_OUTS, SC_CLOSE, SENSOR_ADDRESS, SET_HUM, SET_TEMP, TEMP_INPUT, TO, ZH_CN, check,
                     rows, scenario, wait_for, wl)

BOTH_LOCALES = (ZH_CN, C_UTF8)
ANSI_CODE_PAGE = {ZH_CN: 936, C_UTF8: 1252}
# (control, its text, enabled)
START_UP = [(CONTINUOUS, "连续读开始", False), (SET_HUM, "湿度偏移设置", False), (SET_TEMP, "温度偏移设置", False),
            (READ, "读", False), (OPEN, "打开串口", True), (PORT, "", True), (INFO, "", True),
            (SENSOR_ADDRESS, "1", True), (FROM, "1", True), (TO, "2", True), (TEMP_INPUT, "0", True),
            (HUM_INPUT, "0", True)] + [(control, "", True) for control in READ_OUTS]
LABELS = ["湿度偏移:", "温度(℃):", "湿度(%RH):", "温度偏移:", "地址:", "类型:", "硬件版本:", "软件版本:", "信息提示:",
          "-" * 67, "传感器地址:", "从--------到"]


def port_combo_focused(ui):
    focus = ui.main.focus()
    return focus == ui[PORT] or focus.info()["parent"] == ui[PORT].hwnd  # or the combo's edit field


@scenario("start-up state, then a text of the program's own in a message box", langs=BOTH_LOCALES)
def start_up_state(ctx):
    ui = ctx.launch()
    # Under C.UTF-8 a program that left its texts to the system's ANSI code page would show garbage.
    check([ctx.driver("acp"), ui.main.text()], [ANSI_CODE_PAGE[ctx.lang], "Tarvik"], "ANSI code page, caption")
    rows(START_UP, lambda control, text, on: check([ui.text(control), ui.enabled(control)], [text, on], "text, enabled"))
    check([ui[INFO].send(EM_GETLINECOUNT), ui.main.label_texts(), port_combo_focused(ui)], [1, LABELS, True],
          "lines of the empty pane, labels, port combo has the focus")
    if ctx.lang == ZH_CN:
        wl.screenshot(ctx.rig.wine, ui.main, ctx.rig.wine.root / "screenshots/main-dialog.png")
    # With no port listed, opening has no selection to open: the invalid-argument error reaches the
    # operator in a message box over the dialog, and the port stays closed.
    check([ui[PORT].items(), ui.click(OPEN)], [[], "modal"], "ports listed, what opening did")
    box = ui.popup()
    check([box.text(), box.label_texts()], ["Tarvik", ["遇到无效参数。"]], "message box caption and text")
    check(box.key(wl.VK_RETURN), "gone", "Enter in the message box")
    check([ui.text(OPEN), ui.enabled(READ), ui.text(INFO)], ["打开串口", False, ""], "dialog after the error")


@scenario("the About box from the system menu; Enter leaves the dialog open, Escape and the close box end it")
def about_and_keys(ctx):
    ui = ctx.launch()
    check(ctx.driver("resstring", ctx.rig.wine.windows_path(ctx.rig.exe), 101), "关于 Tarvik(&A)...", "text of the menu entry")
    about = ui.about_box()
    check([about.text(), ui.main.enabled()], ["关于 Tarvik", False], "About box caption, main dialog takes input")
    texts, ok = about.label_texts(), about.item(1)
    check([len(texts), texts[0], ok.text()], [2, "Tarvik，1.0 版", "确定"], "About box lines and OK button")
    check(ok.click() not in ("modal", "gone"), True, "clicking OK ends its handler")
    wait_for(lambda: ui.popup() is None, "the About box gone")
    check([ui.main.enabled(), port_combo_focused(ui), ui.main.key(wl.VK_RETURN)], [True, True, None],
          "main dialog takes input, port combo focused, Enter in it")
    check([ui.process.poll(), ui.text(INFO)], [None, ""], "program running, pane after Enter")
    check([ui.main.key(wl.VK_ESCAPE), ui.process.wait(20)], ["gone", 0], "Escape, exit code")
    ui = ctx.launch()
    ui.main.send(wl.WM_SYSCOMMAND, SC_CLOSE)
    check(ui.process.wait(20), 0, "exit code after the close box")


# Wine lists keys alphabetically, so the walk meets them in this order. COM7 is first found under *PNP0500 and later replaced in place by the USB port of the same name;
# COM5 is listed but cannot be opened; LPT1's device id and *pnp0501's letter case do not match; the
# instance without PORTNAME gives nothing.
WINDOWS_98_ENUM = [  # (device instance, PORTNAME, FRIENDLYNAME)
    ("BIOS\\*PNP0400\\00", "LPT1", "Printer Port (LPT1)"),
    ("BIOS\\*PNP0500\\00", "COM7", "Communications Port (COM7)"),
    ("BIOS\\*PNP0501\\0D", "COM3", "Communications Port (COM3)"),
    ("BIOS\\*PNP0501\\0E", "COM5", "Communications Port (COM5)"),
    ("BIOS\\*PNP0501\\0F", None, "Communications Port (COM8)"),
    ("ISAPNP\\*pnp0501\\01", "COM3", "Lower Case Port (COM3)"),
    ("USBPORTS\\VID_0403&PID_6001\\0000", "COM7", "USB Serial Port (COM7)"),
]
# (Windows version Wine reports, HKLM\Enum present, ports listed, selection, pane)
PORT_LISTS = [
    ("the device installer lists no COM port under Wine", None, False, [], -1, ""),
    ("Windows 98 walks HKLM\\Enum", "win98", True,
     ["COM7-->USB Serial Port (COM7)", "COM3-->Communications Port (COM3)"], 0, ""),
    ("Windows 98 without HKLM\\Enum reports the walk's error", "win98", False, [], -1,
     "Could not read from HKLM\\Enum\r\n"),
    ("Windows NT 4.0 finds the attached COM3 and COM7", "nt40", False, ["COM3-->COM3", "COM7-->COM7"], 0, ""),
]


@scenario("port list at start-up, each way of discovery; dropping it down refreshes it", com=("COM3", "COM7"))
def port_lists(ctx):
    ctx.sim(com="COM3")
    ctx.sim(com="COM7")

    def port_list(name, version, enum, ports, selection, pane):
        for key, port, friendly in WINDOWS_98_ENUM if enum else []:
            ctx.driver("regset", f"{ENUM_KEY}\\{key}", "FRIENDLYNAME", friendly)
            if port:
                ctx.driver("regset", f"{ENUM_KEY}\\{key}", "PORTNAME", port)
        ui = ctx.launch(version)
        ctx.driver("regdelete", ENUM_KEY)  # read at start-up
        check([ui[PORT].items(), ui[PORT].send(CB_GETCURSEL), ui.text(PORT), ui.text(INFO)],
              [ports, selection, ports[0] if ports else "", pane], "ports, selection, combo text, pane")
    rows(PORT_LISTS, port_list)
    # Dropping the list down refreshes it and selects the first port.
    ui, ports = ctx.program, PORT_LISTS[-1][3]
    ui[PORT].send(0x14E, 1)  # CB_SETCURSEL
    check(ui.text(PORT), "COM7-->COM7", "combo text after choosing the second port")
    ui.click(OPEN)
    ui.click(OPEN)
    check(ui.pane(), ["打开COM7成功", "关闭COM7", ""], "pane after opening and closing the chosen port")
    ui[PORT].send(0x14F, 1)  # CB_SHOWDROPDOWN
    check([ui[PORT].send(0x157), ui[PORT].items(), ui[PORT].send(0x147)], [1, ports, 0], "dropped, refreshed, selected")
    ui[PORT].send(0x14F, 0)
    check(ui.text(PORT), "COM3-->COM3", "combo text after the refresh")
    ui.click(OPEN)
    check(ui.pane()[-2:], ["打开COM3成功", ""], "pane after opening the first port again")


@scenario("port list: Windows 98 names in any script show whole on any locale", com=("COM12", "COM5"),
          langs=BOTH_LOCALES)
def names_in_any_script(ctx):
    ctx.sim(com="COM5")
    ctx.sim(com="COM12")
    for key, port, friendly in [("BIOS\\*PNP0501\\00", "COM5", "Port série (COM5)"),
                                ("USBPORTS\\端口\\00", "COM12", "通信端口 (COM12)")]:
        ctx.driver("regset", f"{ENUM_KEY}\\{key}", "FRIENDLYNAME", friendly)
        ctx.driver("regset", f"{ENUM_KEY}\\{key}", "PORTNAME", port)
    ui = ctx.launch("win98")
    ctx.driver("regdelete", ENUM_KEY)  # read at start-up
    check(ui[PORT].items(), ["COM5-->Port série (COM5)", "COM12-->通信端口 (COM12)"], "port list")
    ui[PORT].send(0x14E, 1)  # CB_SETCURSEL
    ui.click(OPEN)
    ui.click(OPEN)
    check(ui.pane(), ["打开COM12成功", "关闭COM12", ""], "pane after opening and closing COM12")
