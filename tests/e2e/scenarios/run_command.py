"""The run command on a serial device: the simulator's pseudo-terminal stands in for a real adapter."""

import os
import subprocess

from harness import REPO, SENSOR_1, check, read_request, rows, scenario


def run_command(*args):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    return subprocess.run(["bash", "scripts/run.sh", *args], cwd=REPO, env=env, capture_output=True, text=True,
                          timeout=600)


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
    rows([("/dev/null",), (str(REPO / "README.md"),)], lambda path: check(
        [(run := run_command("--device", path)).returncode, run.stderr], [2, f"run: {path} is not a serial device\n"],
        "exit code, the refusal"))
