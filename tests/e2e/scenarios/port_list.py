"""The port drop-down at start-up, as each way of discovery fills it under Wine: the device installer
(Wine's default Windows 7, which lists no COM ports), the fixed names COM1 to COM16 when Wine reports
Windows NT 4.0, and the HKLM\\Enum tree when it reports Windows 98."""

from rig import ENUM_KEY, INFO_EDIT, PORT_COMBO, check, scenario

ATTACHED = ("COM3", "COM7")


@scenario("port list: the device installer lists no COM port under Wine", com=ATTACHED)
def device_installer(ctx):
    for com in ATTACHED:
        ctx.pty(com)
    ui = ctx.launch()
    check(ui.items(PORT_COMBO), [], "port list")
    check(ui.selection(PORT_COMBO), -1, "selection")
    check(ui.text(PORT_COMBO), "", "combo text")
    check(ui.text(INFO_EDIT), "", "information pane")


@scenario("port list: Windows NT 4.0 finds the attached COM3 and COM7", com=ATTACHED)
def nt4_fixed_names(ctx):
    for com in ATTACHED:
        ctx.pty(com)
    ctx.windows_version("nt40")
    ui = ctx.launch()
    check(ui.items(PORT_COMBO), ["COM3-->COM3", "COM7-->COM7"], "port list")
    check(ui.selection(PORT_COMBO), 0, "selection")
    check(ui.text(PORT_COMBO), "COM3-->COM3", "combo text")
    check(ui.text(INFO_EDIT), "", "information pane")


# Keys in the order Wine's registry lists them (alphabetical), so the walk meets them as written.
WINDOWS_98_ENUM = {
    "BIOS": {
        "*PNP0400": {"00": {"PORTNAME": "LPT1", "FRIENDLYNAME": "Printer Port (LPT1)"}},
        "*PNP0500": {"00": {"PORTNAME": "COM7", "FRIENDLYNAME": "Communications Port (COM7)"}},
        "*PNP0501": {
            "0D": {"PORTNAME": "COM3", "FRIENDLYNAME": "Communications Port (COM3)"},
            "0E": {"PORTNAME": "COM5", "FRIENDLYNAME": "Communications Port (COM5)"},
            "0F": {"FRIENDLYNAME": "Communications Port (COM8)"},
        },
    },
    "ISAPNP": {"*pnp0501": {"01": {"PORTNAME": "COM3", "FRIENDLYNAME": "Lower Case Port (COM3)"}}},
    "USBPORTS": {
        "VID_0403&PID_6001": {"0000": {"PORTNAME": "COM7", "FRIENDLYNAME": "USB Serial Port (COM7)"}},
    },
}


@scenario("port list: Windows 98 walks HKLM\\Enum", com=ATTACHED)
def windows_98_registry(ctx):
    # COM7 is first found under *PNP0500 and later replaced in place by the USB port of the same name;
    # COM5 is listed but cannot be opened; LPT1's device id and *pnp0501's letter case do not match;
    # the instance without PORTNAME gives nothing.
    for com in ATTACHED:
        ctx.pty(com)
    ctx.windows_version("win98")
    ctx.registry_tree(ENUM_KEY, WINDOWS_98_ENUM)
    ui = ctx.launch()
    check(ui.items(PORT_COMBO), ["COM7-->USB Serial Port (COM7)", "COM3-->Communications Port (COM3)"],
          "port list")
    check(ui.selection(PORT_COMBO), 0, "selection")
    check(ui.text(INFO_EDIT), "", "information pane")


@scenario("port list: Windows 98 without HKLM\\Enum reports the walk's error")
def windows_98_without_enum(ctx):
    ctx.windows_version("win98")
    ui = ctx.launch()
    check(ui.items(PORT_COMBO), [], "port list")
    check(ui.text(INFO_EDIT), "Could not read from HKLM\\Enum\r\n", "information pane")
