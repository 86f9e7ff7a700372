"""The window itself: the About entry of the system menu and its box, and which keys end the dialog."""

from rig import IDOK, INFO_EDIT, PORT_COMBO, SC_CLOSE, check, scenario

ABOUT_MENU_TEXT_ID = 101


@scenario("system menu: the About entry opens the About box, OK closes it")
def about_box(ctx):
    ui = ctx.launch()
    check(ui.resource_string(ctx.rig.exe, ABOUT_MENU_TEXT_ID), "关于 Tarvik(&A)...", "text of the menu entry")
    # The entry is the menu's last: a keyboard user reaches it from the top with one step up.
    check(ui.pick_last_system_menu_entry(), "关于 Tarvik", "caption of the box the entry opened")
    check(ui.window_enabled(), False, "main dialog takes input while the About box is open")
    ui.use("popup")
    texts = ui.label_texts()
    check(len(texts), 2, "text lines of the About box")
    check(texts[0], "Tarvik，1.0 版", "first line of the About box")
    check(ui.text(IDOK), "确定", "OK button")
    check(ui.click(IDOK), None, "clicking OK")
    ui.use("main")
    ui.wait_popup_gone()
    check(ui.window_enabled(), True, "main dialog takes input after the About box")
    check(ui.alive(), True, "main dialog open after the About box")


@scenario("Enter leaves the dialog open, Escape ends the program")
def enter_and_escape(ctx):
    ui = ctx.launch()
    check(ui.focus(), PORT_COMBO, "control with the focus")
    check(ui.key("enter"), None, "Enter in the port combo")
    check(ui.alive(), True, "dialog open after Enter")
    check(ui.text(INFO_EDIT), "", "information pane after Enter")
    check(ui.key("escape"), "closed", "Escape")
    check(ui.wait_exit(), 0, "exit code")


@scenario("the close box ends the program")
def close_box(ctx):
    ui = ctx.launch()
    ui.system_command(SC_CLOSE)
    check(ui.wait_exit(), 0, "exit code")
