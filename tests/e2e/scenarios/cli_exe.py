"""tarvik-cli.exe under Wine against the simulated bus behind COM3: read, scan and set-offset, their
output (UTF-8 into a pipe), their exit statuses; ports by the dialog's discovery."""

import subprocess

from rig import REPO, check, scenario
from sensor_bus import BAD_LENGTH_LINE, BUS_PORT

CLI_EXE = REPO / "build/windows/tarvik-cli.exe"
READ_1 = ("正在读取地址为：1 的设备.\n读取成功:\n温度23.5 度--湿度:{} %--温度偏移：0.0\n"
          "湿度偏移：{}--传感器地址：1--类型：1A\n硬件版本：12--软件版本：105\n")


@scenario("tarvik-cli.exe: read, scan, set-offset and ports over COM3", com=(BUS_PORT,))
def cli_exe(ctx):
    bus = ctx.sim(BUS_PORT, "--no-drift", "--sensor", "1:temp=23.5,hum=45.6,r5=0x1A", "--sensor", "2",
                  "--sensor", "7")
    bus.command("fault 7 echo-reg")
    ctx.registry("HKCU\\Software\\Wine\\AppDefaults\\tarvik-cli.exe", "Version", "nt40")
    cases = [  # arguments, exit status, standard output, standard error
        (["read", BUS_PORT, "1"], 0, READ_1.format("45.6", "0.0"), ""),
        (["read", BUS_PORT, "3"], 1, "", f"tarvik-cli: 3: {BAD_LENGTH_LINE}\n"),
        (["scan", BUS_PORT, "0-3"], 0, "1: 类型：1A--硬件版本：12--软件版本：105\n2: 类型：1--硬件版本：12--软件版本：105\n", ""),
        (["set-offset", BUS_PORT, "1", "hum", "-2.5"], 0, "湿度偏移设置成功！\n", ""),
        (["read", BUS_PORT, "1"], 0, READ_1.format("43.1", "-2.5"), ""),
        (["set-offset", BUS_PORT, "7", "temp", "1"], 1, "", "tarvik-cli: 7: 温度偏移设置不正确！\n"),
        (["set-offset", BUS_PORT, "1", "hum", "25.1"], 2, "", "tarvik-cli: 25.1: 湿度偏移输入不合法！输入范围为：-25.0到25.0\n"),
        (["read", "COM9", "1"], 2, "", "tarvik-cli: 打开COM失败! COM9: no such port\n"),
        (["ports"], 0, "COM3-->COM3\n", ""),
    ]
    for args, status, out, err in cases:
        result = subprocess.run(["wine", str(CLI_EXE), *args], env=ctx.rig.wine.env(ctx.lang),
                                capture_output=True, timeout=60)
        check((result.returncode, result.stderr.decode()), (status, err), f"exit and errors of {args}")
        check(result.stdout.decode(), out, f"output of {args}")
    check(bus.command("get 1 3"), "0x8019", "humidity offset register after set-offset -2.5")
    check(bus.command("get 7 2"), "0x000A", "temperature offset the sensor with the wrong echo kept")
