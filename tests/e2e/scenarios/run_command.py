"""The run command on a serial device: the simulator's pseudo-terminal stands in for a real adapter."""

import os
import subprocess

from harness import REPO, SENSOR_1, Sim, check, read_request, rows, scenario


def run_command(*args):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    return subprocess.run(["bash", "scripts/run.sh", *args], cwd=REPO, env=env, capture_output=True, text=True,
                          timeout=600)


@scenario("run command: --device maps one serial device as COM3 and reads it; other paths are refused")
def run_on_device(ctx):
    bus = Sim(ctx.rig.ttys / "device", ctx.rig.wine.logs, "--sensor", f"1:{SENSOR_1.settings}")
    ctx.backings.append(bus)
    run = run_command("--device", bus.path)
    check(run.returncode, 0, f"exit code ({run.stderr.strip()})")
    steps = run.stdout.split("--- ")
    read = next((s for s in steps if s.startswith("read sensor 1")), "").splitlines()
    check(read, ["read sensor 1", "    您输入的地址为：1", f"    {SENSOR_1.request_line()}",
                 *(f"    {line}" for line in SENSOR_1.block())], "the read in the session's output")
    # A real bus gets no offset written by a demonstration.
    check(bus.frames("rx")[:5], [read_request(a) for a in (1, 1, 2, 1, 2)], "requests")
    check(all(f[1] == 3 for f in bus.frames("rx")), True, "only reads on the wire")

    def refused(path):
        run = run_command("--device", path)
        check([run.returncode, run.stderr], [2, f"run: {path} is not a serial device\n"], "refusal")
    rows([("/dev/null",), (str(REPO / "README.md"),)], refused)
