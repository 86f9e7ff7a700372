"""tarvik-cli on Linux against tarvik-sim over a pseudo-terminal: every command, the faults, the
output formats parsed back, the exit statuses, Ctrl-C and a held port; `ports` over a fake sysfs tree."""

import csv
import datetime
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

CLI, SIM = sys.argv.pop(1), sys.argv.pop(1)
# Sensor 1 and 2 answer; the others each with faults of the answer.
FAULTS = ((3, "silent"), (4, "address"), (6, "crc-low"), (7, "echo-reg"), (7, "function"), (8, "late 300"),
          (9, "split 300"), (10, "echo-value"))
BUS = ("set 1 temp=23.5,hum=45.6\nset 2 r5=0x1A\n" + "".join(f"add {a}\n" for a in dict.fromkeys(a for a, _ in FAULTS))
       + "".join(f"fault {a} {f}\n" for a, f in FAULTS))
READ_1 = ("正在读取地址为：1 的设备.\n读取成功:\n温度23.5 度--湿度:{} %--温度偏移：0.0\n湿度偏移：{}--传感器地址：1--类型：1\n"
          "硬件版本：12--软件版本：105\n")
NO_ANSWER = "接收数据长度不正确！"


def cli(*args, **options):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=30, **options)


class CliAgainstSimulator(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        config, self.port = Path(self.dir.name, "bus.conf"), str(Path(self.dir.name, "bus"))
        config.write_text(BUS)
        self.sim = subprocess.Popen([SIM, "--no-drift", "--config", str(config), "--link", self.port],
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        self.sim.stdout.readline()

    def tearDown(self):
        self.sim.send_signal(signal.SIGINT)
        self.sim.wait(10)
        self.sim.stdout.close()
        self.dir.cleanup()

    def test_commands_and_faults(self):
        p = self.port
        cases = [  # arguments, exit status, standard output, standard error
            (["read", p, "1"], 0, READ_1.format("45.6", "0.0"), ""),
            (["read", p, "3"], 1, "", f"tarvik-cli: 3: {NO_ANSWER}\n"),
            (["read", p, "4"], 1, "", "tarvik-cli: 4: 接收地址不正确！\n"),
            (["read", p, "6"], 1, "", "tarvik-cli: 6: CRC校验不正确！\n"),
            (["read", p, "7"], 1, "", "tarvik-cli: 7: 接收数据格式不正确！\n"),
            (["read", p, "8", "--timeout", "600"], 0, None, ""),
            (["read", p, "64"], 2, "", "tarvik-cli: 64: 地址输入不合法！输入范围为：0到63\n"),
            (["scan", p, "1-2"], 0, "1: 类型：1--硬件版本：12--软件版本：105\n2: 类型：1A--硬件版本：12--软件版本：105\n", ""),
            (["scan", p, "11-13"], 1, "", "tarvik-cli: no sensor answered in 11-13\n"),
            (["scan", p, "5-3"], 2, "", "tarvik-cli: 5-3: 结束地址不能小于起始地址！\n"),
            (["scan", p, "1-6"], 1, "1: 类型：1--硬件版本：12--软件版本：105\n2: 类型：1A--硬件版本：12--软件版本：105\n",
             "tarvik-cli: 4: 接收地址不正确！\ntarvik-cli: 6: CRC校验不正确！\n"),
            (["set-offset", p, "1", "hum", "2.5"], 0, "湿度偏移设置成功！\n", ""),
            # Texts the dialog's offset filter would never leave: refused, and the read below shows nothing written.
            (["set-offset", p, "1", "temp", "1.2.3"], 2, "", "tarvik-cli: 1.2.3: 温度偏移输入不合法！输入范围为：-10.0到10.0\n"),
            (["set-offset", p, "1", "hum", "x5"], 2, "", "tarvik-cli: x5: 湿度偏移输入不合法！输入范围为：-25.0到25.0\n"),
            (["read", p, "1"], 0, READ_1.format("48.1", "2.5"), ""),
            (["set-offset", p, "1", "temp", "10.1"], 2, "", "tarvik-cli: 10.1: 温度偏移输入不合法！输入范围为：-10.0到10.0\n"),
            (["set-offset", p, "3", "temp", "1"], 1, "", f"tarvik-cli: 3: {NO_ANSWER}\n"),
            (["set-offset", p, "6", "temp", "1"], 1, "", "tarvik-cli: 6: CRC校验不正确！温度偏移设置不正确！\n"),
            (["set-offset", p, "7", "temp", "1"], 1, "", "tarvik-cli: 7: 温度偏移设置不正确！\n"),
            (["set-offset", p, "10", "hum", "1"], 1, "", "tarvik-cli: 10: 湿度偏移设置不正确！\n"),
            (["set-offset", p, "1", "pressure", "1"], 2, "", "tarvik-cli: pressure: the offset is temp or hum\n"),
            (["read", "/nonexistent/port", "1"], 2, "", "tarvik-cli: 打开COM失败! /nonexistent/port: No such file or directory\n"),
            (["frobnicate"], 2, "", "tarvik-cli: unknown command frobnicate\n"),
            (["read", p, "1", "--format", "xml"], 2, "", "tarvik-cli: --format is text, csv or json\n"),
            (["--version"], 0, "tarvik-cli 1.0.0.1\n", ""),
            # Last: the rest of these replies comes after the command has given up on them.
            (["read", p, "9"], 1, "", f"tarvik-cli: 9: {NO_ANSWER}\n"),
            (["read", p, "8"], 1, "", f"tarvik-cli: 8: {NO_ANSWER}\n"),
        ]
        for args, status, out, err in cases:
            with self.subTest(args=args):
                result = cli(*args)
                self.assertEqual((result.returncode, result.stderr), (status, err))
                if out is not None:
                    self.assertEqual(result.stdout, out)

    def test_csv_and_json_parse_back(self):
        rows = list(csv.DictReader(cli("read", self.port, "1", "3", "--format", "csv").stdout.splitlines()))
        self.assertEqual([(r["address"], r["status"], r["temperature"], r["type"]) for r in rows],
                         [("1", "ok", "23.5", "1"), ("3", "no-answer", "", "")])
        result = cli("watch", self.port, "1-2", "--count", "2", "--interval", "50", "--format", "json")
        records = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual([result.returncode] + [r["address"] for r in records], [0, 1, 2, 1, 2])
        self.assertEqual(records[1], dict(records[1], status="ok", humidity=47.4, temp_offset=0.0, type="1A", sw_version="105"))
        times = [datetime.datetime.fromisoformat(r["time"].replace("Z", "+00:00")) for r in records]
        self.assertEqual(times, sorted(times))

    def test_ctrl_c_ends_a_watch_and_releases_the_port_which_was_held_meanwhile(self):
        watch = subprocess.Popen([CLI, "watch", self.port, "1-2"], stdout=subprocess.PIPE, text=True)
        self.assertRegex(watch.stdout.readline(), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 1: 温度23\.5 度--")
        held = cli("read", self.port, "1")
        self.assertEqual(held.returncode, 2)
        self.assertRegex(held.stderr, rf"^tarvik-cli: 打开COM失败! /dev/pts/\d+ is held by process {watch.pid} \(lock file .*LCK\.\.pts_\d+\)\n$")
        watch.send_signal(signal.SIGINT)
        self.assertEqual(watch.wait(5), 0)
        watch.stdout.close()
        self.assertEqual(cli("read", self.port, "2").returncode, 0)


class PortsOverFakeSysfs(unittest.TestCase):
    def test_lists_ports_with_a_device_and_usb_names_and_by_id_links(self):
        with tempfile.TemporaryDirectory() as root:
            usb, uart = Path(root, "sys/devices/pci0000:00/usb1/1-1"), Path(root, "sys/devices/platform/serial8250")
            tty = usb / "1-1:1.0/ttyUSB0/tty/ttyUSB0"
            files = {usb / "idVendor": "0403", usb / "idProduct": "6001", usb / "manufacturer": "FTDI",
                     usb / "product": "FT232R USB UART", uart / "tty/ttyS0/type": "0", uart / "tty/ttyS1/type": "4",
                     tty / "dev": "188:0"}
            links = {"sys/class/tty/ttyUSB0": tty, "sys/class/tty/tty0": root, tty / "device": tty.parents[1],
                     "sys/class/tty/ttyS0": uart / "tty/ttyS0", "sys/class/tty/ttyS1": uart / "tty/ttyS1",
                     uart / "tty/ttyS0/device": uart, uart / "tty/ttyS1/device": uart,
                     "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0": "../../ttyUSB0"}
            for path, text in files.items():
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text + "\n")
            for link, target in links.items():
                Path(root, link).parent.mkdir(parents=True, exist_ok=True)
                Path(root, link).symlink_to(target)
            result = cli("ports", env=dict(os.environ, TARVIK_ROOT=root))
        self.assertEqual((result.returncode, result.stdout), (0, "/dev/ttyS1\n/dev/ttyUSB0  USB 0403:6001  FTDI  FT232R USB UART"
                                                                 "  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0\n"))


if __name__ == "__main__":
    unittest.main()
