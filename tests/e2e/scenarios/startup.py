"""The dialog as the operator first sees it, read back under a Chinese and a non-Chinese locale: the
program converts its code page 936 texts itself, so both must read the same."""

from rig import (ANSI_CODE_PAGE, C_UTF8, ZH_CN, check, scenario, OPEN_BUTTON, PORT_COMBO, INFO_EDIT,
                 CONTINUOUS_BUTTON, SET_HUM_OFFSET_BUTTON, SET_TEMP_OFFSET_BUTTON, READ_BUTTON,
                 SENSOR_ADDRESS_EDIT, RANGE_FROM_EDIT, RANGE_TO_EDIT, TEMP_OFFSET_INPUT, HUM_OFFSET_INPUT,
                 ADDRESS_EDIT, TEMP_OFFSET_EDIT, TEMPERATURE_EDIT, TYPE_EDIT, HUM_OFFSET_EDIT, HUMIDITY_EDIT,
                 HW_VERSION_EDIT, SW_VERSION_EDIT)

BOTH_LOCALES = (ZH_CN, C_UTF8)

COMMAND_BUTTONS = {
    CONTINUOUS_BUTTON: "连续读开始",
    SET_HUM_OFFSET_BUTTON: "湿度偏移设置",
    SET_TEMP_OFFSET_BUTTON: "温度偏移设置",
    READ_BUTTON: "读",
}
INITIAL_INPUTS = {
    SENSOR_ADDRESS_EDIT: "1",
    RANGE_FROM_EDIT: "1",
    RANGE_TO_EDIT: "2",
    TEMP_OFFSET_INPUT: "0",
    HUM_OFFSET_INPUT: "0",
}
READ_OUTS = (ADDRESS_EDIT, TEMP_OFFSET_EDIT, TEMPERATURE_EDIT, TYPE_EDIT, HUM_OFFSET_EDIT, HUMIDITY_EDIT,
             HW_VERSION_EDIT, SW_VERSION_EDIT)
LABELS = ["湿度偏移:", "温度(℃):", "湿度(%RH):", "温度偏移:", "地址:", "类型:", "硬件版本:",
          "软件版本:", "信息提示:", "-" * 67, "传感器地址:", "从--------到"]


def check_code_page(ctx, ui):
    # Proves the run is what it claims: under C.UTF-8 a program that left its texts to the system's
    # ANSI code page would show garbage.
    check(ui.acp(), ANSI_CODE_PAGE[ctx.lang], "ANSI code page of this locale")


@scenario("start-up state", langs=BOTH_LOCALES)
def start_up_state(ctx):
    ui = ctx.launch()
    check_code_page(ctx, ui)
    check(ui.caption(), "Tarvik", "dialog caption")
    for control, text in INITIAL_INPUTS.items():
        check(ui.text(control), text, f"initial text of {control}")
    for control, caption in COMMAND_BUTTONS.items():
        check(ui.text(control), caption, f"caption of {control}")
        check(ui.enabled(control), False, f"{control} enabled")
    check(ui.text(OPEN_BUTTON), "打开串口", "open button caption")
    check(ui.enabled(OPEN_BUTTON), True, "open button enabled")
    check(ui.enabled(PORT_COMBO), True, "port combo enabled")
    for control in READ_OUTS:
        check(ui.text(control), "", f"read-out {control}")
    check(ui.text(INFO_EDIT), "", "information pane")
    check(ui.lines(INFO_EDIT), 1, "lines of the empty pane")
    check(ui.label_texts(), LABELS, "labels")
    check(ui.focus(), PORT_COMBO, "control with the focus")
    if ctx.lang == ZH_CN:
        ctx.screenshot("main-dialog")


@scenario("a text of the program's own, in a message box", langs=BOTH_LOCALES)
def program_text(ctx):
    # With no port listed, opening has no selection to open: the invalid-argument error reaches the
    # operator in a message box over the dialog, and the port stays closed.
    ui = ctx.launch()
    check_code_page(ctx, ui)
    check(ui.items(PORT_COMBO), [], "port list")
    check(ui.click(OPEN_BUTTON), "modal", "what opening with no selection did")
    ui.use("popup")
    check(ui.caption(), "Tarvik", "message box caption")
    check(ui.label_texts(), ["遇到无效参数。"], "message box text")
    check(ui.key("enter"), "closed", "Enter in the message box")
    ui.use("main")
    check(ui.text(OPEN_BUTTON), "打开串口", "open button caption after the error")
    check(ui.enabled(READ_BUTTON), False, "read button enabled after the error")
    check(ui.text(INFO_EDIT), "", "information pane after the error")
