"""The inputs of the commands: every refusal with its lines, cleared or appended, and nothing sent and
nothing changed by it; and the filter that keeps the offset inputs numeric as text is typed or pasted."""

from rig import (CONTINUOUS_BUTTON, HUM_OFFSET_INPUT, OPEN_BUTTON, RANGE_FROM_EDIT, RANGE_TO_EDIT, READ_BUTTON,
                 SENSOR_ADDRESS_EDIT, SET_HUM_OFFSET_BUTTON, SET_TEMP_OFFSET_BUTTON, TEMP_OFFSET_INPUT, check,
                 scenario)
from sensor_bus import (BUS_PORT, SENSOR_1, START_CAPTION, button_states, expect_quiet, open_bus, pane, read_outs,
                        requests)

ADDRESS_RANGE = "输入范围为：0到63"
VALID = {SENSOR_ADDRESS_EDIT: "1", TEMP_OFFSET_INPUT: "5", HUM_OFFSET_INPUT: "5", RANGE_FROM_EDIT: "1",
         RANGE_TO_EDIT: "2"}

# (the inputs that differ from VALID, the button, the pane's lines after the refusal). Each command's
# first line clears the pane, so every case also shows whether its lines were cleared or appended.
REFUSALS = [
    ({SENSOR_ADDRESS_EDIT: ""}, READ_BUTTON, ["输入地址不能为空！"]),
    ({SENSOR_ADDRESS_EDIT: "64"}, READ_BUTTON, ["地址输入不合法！", ADDRESS_RANGE]),
    ({SENSOR_ADDRESS_EDIT: ("paste", "-1")}, READ_BUTTON, ["地址输入不合法！", ADDRESS_RANGE]),
    ({TEMP_OFFSET_INPUT: ""}, SET_TEMP_OFFSET_BUTTON, ["输入温度偏移不能为空！"]),
    ({TEMP_OFFSET_INPUT: "10.1"}, SET_TEMP_OFFSET_BUTTON, ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    ({TEMP_OFFSET_INPUT: "-10.1"}, SET_TEMP_OFFSET_BUTTON, ["温度偏移输入不合法！", "输入范围为：-10.0到10.0"]),
    # An accepted offset's echo is wiped by the address refusal after it.
    ({SENSOR_ADDRESS_EDIT: ""}, SET_TEMP_OFFSET_BUTTON, ["输入地址不能为空！"]),
    ({SENSOR_ADDRESS_EDIT: "64"}, SET_TEMP_OFFSET_BUTTON, ["地址输入不合法！", ADDRESS_RANGE]),
    ({HUM_OFFSET_INPUT: ""}, SET_HUM_OFFSET_BUTTON, ["输入湿度偏移不能为空！"]),
    ({HUM_OFFSET_INPUT: "25.1"}, SET_HUM_OFFSET_BUTTON, ["湿度偏移输入不合法！", "输入范围为：-25.0到25.0"]),
    ({HUM_OFFSET_INPUT: "-25.1"}, SET_HUM_OFFSET_BUTTON, ["湿度偏移输入不合法！", "输入范围为：-25.0到25.0"]),
    ({SENSOR_ADDRESS_EDIT: ("paste", "-1")}, SET_HUM_OFFSET_BUTTON, ["地址输入不合法！", ADDRESS_RANGE]),
    ({RANGE_FROM_EDIT: ""}, CONTINUOUS_BUTTON, ["输入起始地址不能为空！"]),
    ({RANGE_FROM_EDIT: "64"}, CONTINUOUS_BUTTON, ["起始地址输入不合法！", ADDRESS_RANGE]),
    ({RANGE_TO_EDIT: ""}, CONTINUOUS_BUTTON, ["您输入的起始地址为：1", "输入结束地址不能为空！"]),
    ({RANGE_TO_EDIT: "64"}, CONTINUOUS_BUTTON, ["您输入的起始地址为：1", "结束地址输入不合法！", ADDRESS_RANGE]),
    ({RANGE_FROM_EDIT: "6", RANGE_TO_EDIT: "5"}, CONTINUOUS_BUTTON,
     ["您输入的起始地址为：6", "您输入的结束地址为：5", "结束地址不能小于起始地址！"]),
]


def enter(ui, control, text):
    """Sets an input's text; ("paste", text) pastes it into the emptied input as the operator would."""
    if isinstance(text, tuple):
        ui.set_text(control, "")
        ui.paste(control, text[1])
    else:
        ui.set_text(control, text)


@scenario("input refusals: their lines, nothing sent, nothing changed", com=(BUS_PORT,))
def refusals(ctx):
    ui, bus = open_bus(ctx, SENSOR_1)
    for changes, button, lines in REFUSALS:
        inputs = {**VALID, **changes}
        for control, text in inputs.items():
            enter(ui, control, text)
        what = f"{button} with {changes}"
        ui.click(button)
        check(pane(ui), [*lines, ""], f"pane after {what}")
        check(button_states(ui), [True] * 4, f"command buttons after {what}")
        check(ui.text(CONTINUOUS_BUTTON), START_CAPTION, f"continuous button caption after {what}")
        for control, text in inputs.items():
            check(ui.text(control), text[1] if isinstance(text, tuple) else text, f"text of {control} after {what}")
    # Longer than the continuous read's pacing, so that a run started by mistake would show.
    expect_quiet(ui, bus, 1.5, "the refusals")
    check(requests(bus), [], "frames on the wire")
    check(ui.text(OPEN_BUTTON), "关闭串口", "open button caption")
    check(read_outs(ui), [""] * 8, "read-outs")


# (input, typed or pasted, text, what the input then holds)
FILTERED = [
    # A typed character that the filter removes leaves the caret at the start, where the next one lands.
    (TEMP_OFFSET_INPUT, "type", "12x3", "312"),
    (TEMP_OFFSET_INPUT, "type", "1.2.3", "31.2"),
    (TEMP_OFFSET_INPUT, "type", "a-1", "-1"),
    (TEMP_OFFSET_INPUT, "type", "5中", "5"),
    (TEMP_OFFSET_INPUT, "type", "-.5", "-.5"),
    (TEMP_OFFSET_INPUT, "paste", "1.2.3", "1.23"),
    (TEMP_OFFSET_INPUT, "paste", "a-1", "1"),
    (TEMP_OFFSET_INPUT, "paste", "5中", "5"),
    (TEMP_OFFSET_INPUT, "paste", "..5", ".5"),
    (TEMP_OFFSET_INPUT, "paste", "-12.345", "-12.3"),
    (HUM_OFFSET_INPUT, "type", "中2", "2"),
    (HUM_OFFSET_INPUT, "paste", "--5", "-5"),
    (HUM_OFFSET_INPUT, "paste", "5-", "5"),
    (HUM_OFFSET_INPUT, "paste", "a-1", "1"),
]


@scenario("offset inputs: the filter on typed and pasted text")
def offset_filter(ctx):
    ui = ctx.launch()
    for control, how, text, expected in FILTERED:
        ui.set_text(control, "")
        if how == "type":
            ui.type(control, text)
        else:
            ui.paste(control, text)
        check(ui.text(control), expected, f"{control} after {how} {text!r}")
    check(pane(ui), [""], "pane")
