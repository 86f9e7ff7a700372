"""tarvik-cli.exe under Wine against the simulated bus behind COM3: read, scan and set-offset, their
output (UTF-8 into a pipe), their exit statuses, a late reply and a lost line; ports by the dialog's
discovery; a report's page into a pipe and a file. The simulated line is as strict as a real one: a request
too close to a reply goes unanswered."""

import os
import shutil
import subprocess

from harness import BAD_LENGTH, BUS, REPO, Sensor, check, rows, scenario

CLI_EXE = REPO / "build/windows/tarvik-cli.exe"
READ_1 = ("正在读取地址为：1 的设备.\n读取成功:\n温度23.5 度--湿度:{} %--温度偏移：0.0\n"
          "湿度偏移：{}--传感器地址：1--类型：1A\n硬件版本：12--软件版本：105\n")
CASES = [  # arguments, exit status, standard output, standard error
    (["read", BUS, "1"], 0, READ_1.format("45.6", "0.0"), ""),
    (["read", BUS, "3"], 1, "", f"tarvik-cli: 3: {BAD_LENGTH}\n"),
    (["scan", BUS, "0-3"], 0, "1: 类型：1A--硬件版本：12--软件版本：105\n2: 类型：1--硬件版本：12--软件版本：105\n", ""),
    # Sensor 5 answers 260 ms late, while the absent 6 is awaited: named, and 6 not blamed.
    (["scan", BUS, "5-7"], 1, "7: 类型：1--硬件版本：12--软件版本：105\n",
     "tarvik-cli: 5: late reply (after the 200 ms time-out), discarded\n"),
    (["read", BUS, "１"], 2, "", "tarvik-cli: １: 地址输入不合法！输入范围为：0到63\n"),
    (["set-offset", BUS, "1", "hum", "-2.5"], 0, "湿度偏移设置成功！\n", ""),
    (["read", BUS, "1"], 0, READ_1.format("43.1", "-2.5"), ""),
    (["set-offset", BUS, "7", "temp", "1"], 1, "", "tarvik-cli: 7: 温度偏移设置不正确！\n"),
    (["set-offset", BUS, "1", "hum", "25.1"], 2, "", "tarvik-cli: 25.1: 湿度偏移输入不合法！输入范围为：-25.0到25.0\n"),
    (["read", "COM9", "1"], 2, "", "tarvik-cli: 打开COM失败! COM9: no such port\n"),
    (["ports"], 0, "COM3-->COM3\n", ""),
]


@scenario("tarvik-cli.exe: read, scan, set-offset and ports over COM3", com=(BUS,))
def cli_exe(ctx):
    bus = ctx.sim(Sensor(1, "temp=23.5,hum=45.6,r5=0x1A", [], []), Sensor(2, "", [], []), Sensor(5, "", [], []),
                  Sensor(7, "", [], []))
    bus("fault 7 echo-reg")
    bus("fault 5 late 260")

    def run(args, status, out, err):
        cli = ctx.rig.wine.run([CLI_EXE, *args], ctx.lang, "nt40", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        stdout, stderr = cli.communicate(timeout=60)
        check([cli.returncode, stdout.decode(), stderr.decode()], [status, out, err], "exit, output and errors")
    rows(CASES, run)
    check([bus("get 1 3"), bus("get 7 2")], ["0x8019", "0x000A"], "offsets kept: -2.5, and 1.0 despite the wrong echo")
    check([d for d, _ in bus.wire()].count("rx-merged"), 0, "requests merged with the frame before them")

    # The line vanishes under a watch: one line, exit 1, no loop of failures.
    watch = ctx.rig.wine.run([CLI_EXE, "watch", BUS, "1-1", "--interval", "0"], ctx.lang, "nt40",
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    bus.wait_requests(len(bus.wire("rx")) + 3)
    bus("vanish")
    check([watch.wait(60), watch.stderr.read().decode()], [1, "tarvik-cli: COM3: the port has gone (unplugged or hung up)\n"],
          "a watch whose line vanished")
    watch.stderr.close()


REPORT_CSV = ("time,address,status,temperature,humidity,temp_offset,hum_offset,sensor_address,type,hw_version,sw_version\n"
              "2026-12-07T01:00:00.000Z,3,ok,20.0,40.0,0.0,0.0,3,1A,12,105\n"
              "2026-12-07T01:00:01.000Z,3,no-answer,,,,,,,,\n"
              "2026-12-07T01:00:02.000Z,3,ok,21.5,41.0,0.0,0.0,3,1A,12,105\n")
# The title is typed in the ANSI code page and shown in UTF-8.
PAGE_PARTS = ("<!DOCTYPE html>", "<h1>3 号楼调试记录</h1>", '<td id="files">report\\run.csv（3 行）</td>',
              '<tr class="temp"><th>温度（℃）</th><td class="n last">21.5</td><td class="n min">20.0</td>'
              '<td class="n max">21.5</td><td class="n mean">20.75</td></tr>',
              '<td class="n success">66.7%</td>', '<svg class="trend"')


@scenario("tarvik-cli.exe: a report into a pipe and a file")
def cli_exe_report(ctx):
    # Wine's account starts the program in C:\ and reaches no folder of the caller's: the files live there.
    wine = ctx.rig.wine
    work = wine.prefix / "drive_c/report"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    (work / "run.csv").write_text(REPORT_CSV, encoding="utf-8")
    for path in (work, work / "run.csv"):
        os.chown(path, wine.account.pw_uid, wine.account.pw_gid)

    def run(*args):
        cli = wine.run([CLI_EXE, "report", *args], ctx.lang, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        stdout, stderr = cli.communicate(timeout=60)
        return cli.returncode, stdout, stderr.decode()

    try:
        status, page, errors = run("report\\run.csv", "--title", "3 号楼调试记录")
        check([status, errors, [part for part in PAGE_PARTS if part not in page.decode()]], [0, "", []],
              "exit, errors and the page's parts missing from standard output")
        check(run("report\\run.csv", "--title", "3 号楼调试记录", "-o", "report\\out.html")
              + ((work / "out.html").read_bytes(),), (0, b"", "", page),
              "exit, output, errors and the page written to the file")
        check(run("report\\missing.csv", "-o", "report\\bad.html") + ((work / "bad.html").exists(),),
              (2, b"", "tarvik-cli: report\\missing.csv: cannot be read\n", False), "a file that cannot be read: no page")
    finally:
        shutil.rmtree(work, ignore_errors=True)
