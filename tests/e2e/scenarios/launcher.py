"""What the launcher keeps from Tarvik.exe and from the machine's other users: Tarvik.exe runs unprivileged
in the run's own PID namespace and reaches no file through a drive on /; the private display serves no one
without its cookie."""

import os
import subprocess
from pathlib import Path

from harness import REPO, check, rows, scenario, unprivileged_user, wl


def ids(pid):
    """The real, effective, saved and file-system uids of a process."""
    status = Path(f"/proc/{pid}/status").read_text()
    return next(line.split()[1:] for line in status.splitlines() if line.startswith("Uid:"))


@scenario("launcher: Tarvik.exe unprivileged in the run's own processes, no drive on /, a display only for the cookie")
def launcher_isolation(ctx):
    wine = ctx.rig.wine
    ui = ctx.launch()
    probe = wine.prefix / "drive_c/probe.txt"  # a file Wine's account may open read-write
    probe.write_text("")
    os.chown(probe, wine.account.pw_uid, wine.account.pw_gid)
    unix_path = "Z:" + str(probe).replace("/", "\\")
    check(wine.account.pw_uid != 0, True, "Wine's account is not root")
    rows([
        ("uids of the running Tarvik.exe", lambda: ids(ui.process.pid), [str(wine.account.pw_uid)] * 4),
        ("this run is the first process's own, nothing else shows",
         lambda: [os.getppid(), Path("/proc/1/cmdline").read_bytes() == Path("/proc/self/cmdline").read_bytes()],
         [1, True]),
        ("a file on C: opens", lambda: ctx.driver("canopen", "C:\\probe.txt"), True),
        ("the same file by its Z: path", lambda: ctx.driver("canopen", unix_path), False),
        ("drives lead only to C: and the folders of the programs run", lambda: {
            os.path.realpath(p) for p in (wine.prefix / "dosdevices").iterdir() if p.name[1:] == ":"} - {
            str(wine.prefix / "drive_c"), str(wl.DRIVER.parent), str(ctx.rig.exe.parent), str(REPO / "build/windows")}, set()),
    ], lambda what, actual, expected: check(actual(), expected, what))

    def x_client(user, *command):
        env = {"PATH": os.environ["PATH"], "DISPLAY": wine.display}
        if user is None:
            env["XAUTHORITY"] = str(wine.authority)
            return subprocess.run(command, env=env, capture_output=True, text=True, timeout=60)
        return subprocess.run(["runuser", "-u", user, "--", "env", *(f"{k}={v}" for k, v in env.items()), *command],
                              capture_output=True, text=True, timeout=60)

    with unprivileged_user() as other:
        rows([  # who, what: exit status, the dialog's window found
            ("Wine's cookie", None, ["xdotool", "search", "--name", "^Tarvik$"], (0, True)),
            ("another user lists windows", other.pw_name, ["xdotool", "search", "--name", "^Tarvik$"], (1, False)),
            ("another user types", other.pw_name, ["xdotool", "key", "Return"], (1, False)),
            ("another user takes a picture", other.pw_name, ["import", "-window", "root", "null:"], (1, False)),
        ], lambda who, user, command, expected: check(
            ((run := x_client(user, *command)).returncode != 0 and 1 or 0, run.stdout.strip().isdigit()),
            expected, f"exit status, a window found ({run.stderr.strip()[:120]})"))
