"""The run command on a serial device: the simulator's pseudo-terminal stands in for a real adapter. What it
refuses to take, and two runs on one folder at once."""

import os
import signal
import subprocess
import tempfile
from pathlib import Path

from harness import REPO, SENSOR_1, check, read_request, rows, scenario, unprivileged_user, wait_for

RUN_WORK = REPO / "build/run"


def run_command(*args, wait=True, output=None, display=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY")}
    env.update(display or {})
    command = ["bash", "scripts/run.sh", *map(str, args)]
    if not wait:
        return subprocess.Popen(command, cwd=REPO, env=env, stdout=output, stderr=subprocess.STDOUT, text=True)
    return subprocess.run(command, cwd=REPO, env=env, capture_output=True, text=True, timeout=600)


@scenario("run command: --device maps one serial device as COM3 and reads it; other paths are refused")
def run_on_device(ctx):
    bus = ctx.sim(SENSOR_1, link=ctx.rig.wine.root / "ttys/device")
    run = run_command("--device", bus.path)
    check(run.returncode, 0, f"exit code ({run.stderr.strip()})")
    read = next((s for s in run.stdout.split("--- ") if s.startswith("read sensor 1")), "").splitlines()
    check(read, ["read sensor 1", "    您输入的地址为：1", f"    {SENSOR_1.request_line}",
                 *(f"    {line}" for line in SENSOR_1.block())], "the read in the session's output")
    # A real bus gets no offset written by a demonstration.
    check(bus.wire("rx")[:5], [read_request(a) for a in (1, 1, 2, 1, 2)], "requests")
    check(all(f[1] == 3 for f in bus.wire("rx")), True, "only reads on the wire")

    with unprivileged_user() as other, tempfile.TemporaryDirectory(dir=REPO / "build") as scratch:
        others_terminal = os.ttyname(os.openpty()[1])
        os.chown(others_terminal, other.pw_uid, -1)
        rows([("/dev/null",), (str(REPO / "README.md"),), ("/dev/ptmx",), ("/dev/tty",), (others_terminal,)],
             lambda path: check([(run := run_command("--device", path)).returncode, run.stderr],
                                [2, f"run: {path} is not a serial device of yours\n"], "exit code, the refusal"))

        others_folder, planted = Path(scratch, "other"), Path(scratch, "planted")
        others_folder.mkdir()
        os.chown(others_folder, other.pw_uid, other.pw_gid)
        planted.mkdir()
        secret = Path(scratch, "secret")
        secret.write_text("root's own\n")
        secret.chmod(0o600)
        (planted / "lock").symlink_to(secret)
        rows([  # work folder, the refusal
            (others_folder, f"refusing to use {others_folder}: not a folder of yours that only you may write to"),
            (planted, f"refusing to use {planted / 'lock'}: Too many levels of symbolic links"),
        ], lambda work, refusal: check([(run := run_command("--work", work)).returncode, run.stdout.splitlines()[-1:]],
                                       [1, [f"cannot run Tarvik: {refusal}"]], "exit code, the refusal"))
        check(secret.read_text(), "root's own\n", "the file behind the planted link")


@scenario("run command: a second run on the same folder waits for the first; one stopped while waiting harms neither")
def two_runs(ctx):
    with tempfile.TemporaryDirectory(dir=REPO / "build") as scratch:
        outputs = {name: Path(scratch, name) for name in ("first", "stopped", "second")}
        files = {name: open(path, "w") for name, path in outputs.items()}
        runs = {}

        def start(name, **display):
            runs[name] = run_command("--work", RUN_WORK, wait=False, output=files[name], **display)

        def says(name, text):
            wait_for(lambda: text in outputs[name].read_text(), f"{name} run: {text!r}", 300)

        try:
            # On a display the first run stays until it is stopped.
            start("first", display={"DISPLAY": ctx.rig.wine.display, "XAUTHORITY": str(ctx.rig.wine.authority)})
            says("first", "Tarvik is running")
            start("stopped")
            says("stopped", "waiting for another run")
            runs["stopped"].send_signal(signal.SIGTERM)
            check(runs["stopped"].wait(60), 130, "exit code of the run stopped while waiting")
            start("second")
            says("second", "waiting for another run")
            # Had the stopped run ended the first's wineserver, the first would have ended with its Tarvik.
            runs["first"].send_signal(signal.SIGTERM)
            rows([  # run, its exit code, its output's last line
                ("first", 130, "Tarvik is running; close its window to end."),
                ("second", 0, "screenshot: " + str(RUN_WORK / "tarvik.png")),
            ], lambda name, code, last: check([runs[name].wait(600), outputs[name].read_text().splitlines()[-1]],
                                              [code, last], "exit code, the output's last line"))
        finally:
            for run in runs.values():
                if run.poll() is None:
                    run.kill()
            for file in files.values():
                file.close()
