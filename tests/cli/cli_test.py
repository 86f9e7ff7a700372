"""tarvik-cli on Linux against tarvik-sim over a pseudo-terminal: every command, the faults, the
output formats parsed back, the exit statuses, Ctrl-C and a held port, the frames on the wire, the
locks under a private lock directory, a lost line and failed output; `ports` over a fake sysfs tree."""

import csv
import datetime
import fcntl
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import termios
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
STAMP = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z"


# The CLI's lock files go to a private lock directory, never the machine's.
ROOT = tempfile.TemporaryDirectory()
LOCKS = Path(ROOT.name, "var/lock")
LOCKS.mkdir(parents=True)
ENV = dict(os.environ, TARVIK_ROOT=ROOT.name)


def cli(*args, **options):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=30, **{"env": ENV, **options})


def poll(condition, ceiling=10.0):
    deadline = time.monotonic() + ceiling
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError("not within the ceiling")
        time.sleep(0.01)


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
            # A reply naming another address is not the answer of the one asked, nor blamed on it.
            (["read", p, "4"], 1, "", f"tarvik-cli: 21 bytes from address 5 while 4 was asked, discarded\n"
                                      f"tarvik-cli: 4: {NO_ANSWER}\n"),
            (["read", p, "6"], 1, "", "tarvik-cli: 6: CRC校验不正确！\n"),
            (["read", p, "7"], 1, "", "tarvik-cli: 7: 接收数据格式不正确！\n"),
            (["read", p, "8", "--timeout", "600"], 0, None, ""),
            (["read", p, "64"], 2, "", "tarvik-cli: 64: 地址输入不合法！输入范围为：0到63\n"),
            (["scan", p, "1-2"], 0, "1: 类型：1--硬件版本：12--软件版本：105\n2: 类型：1A--硬件版本：12--软件版本：105\n", ""),
            (["scan", p, "11-13"], 1, "", "tarvik-cli: no sensor answered in 11-13\n"),
            (["scan", p, "5-3"], 2, "", "tarvik-cli: 5-3: 结束地址不能小于起始地址！\n"),
            (["scan", p, "1-6"], 1, "1: 类型：1--硬件版本：12--软件版本：105\n2: 类型：1A--硬件版本：12--软件版本：105\n",
             "tarvik-cli: 21 bytes from address 5 while 4 was asked, discarded\ntarvik-cli: 6: CRC校验不正确！\n"),
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
            # The edges of every input range: the last value in, the first one out.
            (["set-offset", p, "2", "temp", "-10.0"], 0, "温度偏移设置成功！\n", ""),
            (["set-offset", p, "2", "temp", "10.0"], 0, "温度偏移设置成功！\n", ""),
            (["set-offset", p, "2", "temp", "-10.1"], 2, "", "tarvik-cli: -10.1: 温度偏移输入不合法！输入范围为：-10.0到10.0\n"),
            (["set-offset", p, "2", "hum", "-25.0"], 0, "湿度偏移设置成功！\n", ""),
            (["set-offset", p, "2", "hum", "25.0"], 0, "湿度偏移设置成功！\n", ""),
            (["set-offset", p, "2", "hum", "-25.1"], 2, "", "tarvik-cli: -25.1: 湿度偏移输入不合法！输入范围为：-25.0到25.0\n"),
            (["set-offset", p, "2", "hum", "25.1"], 2, "", "tarvik-cli: 25.1: 湿度偏移输入不合法！输入范围为：-25.0到25.0\n"),
            (["read", p, "0"], 1, "", f"tarvik-cli: 0: {NO_ANSWER}\n"),
            (["read", p, "63"], 1, "", f"tarvik-cli: 63: {NO_ANSWER}\n"),
            (["read", p, "-1"], 2, "", "tarvik-cli: -1: 地址输入不合法！输入范围为：0到63\n"),
            (["scan", p, "0-64"], 2, "", "tarvik-cli: 64: 结束地址输入不合法！输入范围为：0到63\n"),
            # Finer than tenths is refused, not cut; user text stays as typed (UTF-8), -- ends the options.
            (["set-offset", p, "2", "temp", "1.59"], 2, "", "tarvik-cli: 1.59: an offset is set in tenths, one digit after the point\n"),
            (["read", p, "１"], 2, "", "tarvik-cli: １: 地址输入不合法！输入范围为：0到63\n"),
            (["read", "/nonexistent/端口", "1"], 2, "", "tarvik-cli: 打开COM失败! /nonexistent/端口: No such file or directory\n"),
            (["read", p, "--", "--format"], 2, "", "tarvik-cli: --format: 地址输入不合法！输入范围为：0到63\n"),
            (["read", p, "1", "--format=xml"], 2, "", "tarvik-cli: --format is text, csv or json\n"),
            (["read", "/nonexistent/port", "1"], 2, "", "tarvik-cli: 打开COM失败! /nonexistent/port: No such file or directory\n"),
            (["frobnicate"], 2, "", "tarvik-cli: unknown command frobnicate\n"),
            (["read", p, "1", "--format", "xml"], 2, "", "tarvik-cli: --format is text, csv or json\n"),
            (["--version"], 0, "tarvik-cli 1.0.0.1\n", ""),
            # Last: the rest of this reply comes after the command has given up on it.
            (["read", p, "9"], 1, "", f"tarvik-cli: 9: {NO_ANSWER}\n"),
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
        watch = subprocess.Popen([CLI, "watch", self.port, "1-2"], stdout=subprocess.PIPE, text=True, env=ENV)
        self.assertRegex(watch.stdout.readline(), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 1: 温度23\.5 度--")
        held = cli("read", self.port, "1")
        self.assertEqual(held.returncode, 2)
        self.assertRegex(held.stderr, rf"^tarvik-cli: 打开COM失败! /dev/pts/\d+ is held by process {watch.pid} \(lock file .*LCK\.\.pts_\d+\)\n$")
        watch.send_signal(signal.SIGINT)
        self.assertEqual(watch.wait(5), 0)
        watch.stdout.close()
        self.assertEqual(cli("read", self.port, "2").returncode, 0)


class CarefulMaster(unittest.TestCase):
    """A bus as strict as a real line: sensor 1 answers 260 ms late, 2 is absent, 3 refuses with
    exception 02, 4 answers. The frames on the wire come from the simulator's log."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.port, self.log = str(Path(self.dir.name, "bus")), Path(self.dir.name, "frames")
        self.sim = subprocess.Popen([SIM, "--no-drift", "--link", self.port, "--log", self.log, "--sensor", "1",
                                     "--sensor", "3", "--sensor", "4:temp=23.5,hum=45.6"],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.pts = self.sim.stdout.readline().strip()
        self.command("fault 1 late 260")
        self.command("fault 3 exception 2")
        self.lock = LOCKS / ("LCK.." + self.pts[5:].replace("/", "_"))

    def tearDown(self):
        self.sim.send_signal(signal.SIGINT)
        self.sim.wait(10)
        self.sim.stdout.close()
        self.sim.stdin.close()
        self.dir.cleanup()
        self.lock.unlink(missing_ok=True)

    def command(self, line):
        self.sim.stdin.write(line + "\n")
        self.sim.stdin.flush()
        self.assertRegex(self.sim.stdout.readline(), "^ok")

    def wire(self):
        """(direction, address) of every frame so far; a reply that collided starts with garbage."""
        lines = self.log.read_text().splitlines() if self.log.exists() else []
        return [(line.split()[1], int(line.split()[2], 16)) for line in lines]

    def settled(self, frames):
        poll(lambda: len(self.wire()) >= frames)
        time.sleep(0.4)  # a late reply still to come would show now: the count below must stay
        return self.wire()

    def test_frames_on_the_wire_and_what_is_reported(self):
        p = self.port
        late = "tarvik-cli: 1: late reply (after the 200 ms time-out)"
        cases = [  # arguments, exit status, standard output, standard error, frames on the wire
            # No request follows a reply closer than 3.5 characters: none is merged, every present sensor answers.
            (["read", p, "4", "4", "4"], 0, None, "", [("rx", 4), ("tx", 4)] * 3),
            # The late reply lands while address 2 is awaited: it is named, and 2 is not blamed.
            (["scan", p, "0-4"], 1, "4: 类型：1--硬件版本：12--软件版本：105\n",
             f"{late}, discarded\ntarvik-cli: 3: 异常应答：非法数据地址 (异常码 0x02)！\n",
             [("rx", 0), ("rx", 1), ("rx", 2), ("tx", 1), ("rx", 3), ("tx", 3), ("rx", 4), ("tx", 4)]),
            # Before each request of a watch the late reply of the last is drained and named.
            (["watch", p, "1-1", "--count", "2", "--interval", "500", "--format", "csv"], 1, None,
             f"tarvik-cli: TIME 1: {NO_ANSWER}\n{late}, discarded\ntarvik-cli: TIME 1: {NO_ANSWER}\n",
             [("rx", 1), ("tx", 1), ("rx", 1), ("tx", 1)]),
            (["read", p, "1", "--timeout", "400"], 0, None, "", [("rx", 1), ("tx", 1)]),
            (["read", p, "3", "--format", "csv"], 1, "time,address,status,temperature,humidity,temp_offset,hum_offset,"
             "sensor_address,type,hw_version,sw_version,exception_code\nTIME,3,exception,,,,,,,,,2\n",
             "tarvik-cli: 3: 异常应答：非法数据地址 (异常码 0x02)！\n", [("rx", 3), ("tx", 3)]),
            (["set-offset", p, "3", "hum", "1", "--format=json"], 1,
             '{"time":"TIME","address":3,"status":"exception","exception_code":2}\n',
             "tarvik-cli: 3: 异常应答：非法数据地址 (异常码 0x02)！\n", [("rx", 3), ("tx", 3)]),
        ]
        for args, status, out, err, frames in cases:
            with self.subTest(args=args):
                before = len(self.settled(0))
                result = cli(*args)
                self.assertEqual((result.returncode, re.sub(STAMP, "TIME", result.stderr)), (status, err))
                if out is not None:
                    self.assertEqual(re.sub(STAMP, "TIME", result.stdout), out)
                self.assertEqual(self.settled(before + len(frames))[before:], frames)
                self.assertFalse(self.lock.exists())

    def test_exception_codes_are_named(self):
        cases = [(1, "非法功能 (异常码 0x01)"), (2, "非法数据地址 (异常码 0x02)"), (3, "非法数据值 (异常码 0x03)"),
                 (4, "从站设备故障 (异常码 0x04)"), (6, "从站设备忙 (异常码 0x06)"), (11, "网关目标设备无响应 (异常码 0x0B)"),
                 (5, "异常码 0x05"), (255, "异常码 0xFF")]
        for code, name in cases:
            with self.subTest(code=code):
                self.command(f"fault 3 exception {code}")
                result = cli("read", self.port, "3", "--format", "json")
                self.assertEqual((result.returncode, result.stderr, json.loads(result.stdout)["exception_code"]),
                                 (1, f"tarvik-cli: 3: 异常应答：{name}！\n", code))

    def test_json_fields_are_typed_and_set_offset_takes_the_format(self):
        record = json.loads(cli("read", self.port, "4", "--format", "json").stdout)
        self.assertEqual({k: type(v).__name__ for k, v in record.items()},
                         {"time": "str", "address": "int", "status": "str", "temperature": "float", "humidity": "float",
                          "temp_offset": "float", "hum_offset": "float", "sensor_address": "int", "type": "str",
                          "hw_version": "str", "sw_version": "str"})
        result = cli("set-offset", self.port, "4", "temp", "-1.5", "--format", "csv")
        self.assertEqual((result.returncode, re.sub(STAMP, "TIME", result.stdout.splitlines()[1])),
                         (0, "TIME,4,ok,22.0,45.6,-1.5,0.0,4,1,12,105,"))

    def test_a_lost_line_ends_the_run_with_one_line(self):
        cases = [  # arguments; the line vanishes once the request is on the wire
            ["watch", self.port, "4-4", "--interval", "0"],  # between two exchanges
            ["read", self.port, "2", "--timeout", "60000"],  # while a reply is awaited
        ]
        for args in cases:
            with self.subTest(args=args):
                sent = len(self.wire())
                run = subprocess.Popen([CLI, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env=ENV)
                poll(lambda: len(self.wire()) > sent)
                self.command("vanish")
                self.assertEqual((run.wait(10), run.stderr.read()),
                                 (1, f"tarvik-cli: {self.port}: the port has gone (unplugged or hung up)\n"))
                run.stderr.close()
                self.assertFalse(self.lock.exists())
                self.command("return")
                self.pts = os.path.realpath(self.port)
                self.lock = LOCKS / ("LCK.." + self.pts[5:].replace("/", "_"))

    def test_output_that_fails_is_a_failure_and_a_closed_pipe_ends_quietly(self):
        with open("/dev/full", "w") as full:
            result = subprocess.run([CLI, "read", self.port, "4"], stdout=full, stderr=subprocess.PIPE, text=True, env=ENV)
        self.assertEqual((result.returncode, result.stderr), (1, "tarvik-cli: standard output: No space left on device\n"))
        watch = subprocess.Popen([CLI, "watch", self.port, "4-4", "--interval", "0"], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, env=ENV)
        watch.stdout.readline()
        watch.stdout.close()
        self.assertEqual((watch.wait(10), watch.stderr.read()), (-signal.SIGPIPE, b""))
        watch.stderr.close()
        self.assertFalse(self.lock.exists())

    def test_every_signal_releases_the_lock_and_failed_reads_set_the_status(self):
        scan = subprocess.Popen([CLI, "scan", self.port, "5-63"], stderr=subprocess.PIPE, text=True, env=ENV)
        poll(lambda: any(address == 5 for _, address in self.wire()))
        scan.send_signal(signal.SIGINT)
        self.assertEqual((scan.wait(10), scan.stderr.read()), (1, ""))  # not "no sensor answered"
        scan.stderr.close()
        for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=stop):
                watch = subprocess.Popen([CLI, "watch", self.port, "2-4", "--interval", "10"], stdout=subprocess.DEVNULL,
                                         stderr=subprocess.PIPE, text=True, env=ENV)
                poll(self.lock.exists)
                poll(lambda: re.search("tarvik-cli: .* 2: ", watch.stderr.readline()))  # address 2 failed
                watch.send_signal(stop)
                self.assertEqual(watch.wait(10), 1)
                watch.stderr.close()
                self.assertFalse(self.lock.exists())

    def test_locks_that_are_not_plain_files_or_are_held_by_flock_refuse_the_port(self):
        planted = Path(self.dir.name, "planted")
        planted.write_text("keep\n")
        holder = os.open(self.pts, os.O_RDWR | os.O_NOCTTY)
        refused = "tarvik-cli: 打开COM失败! "
        cases = [  # what is at the lock file's name, or an flock held, exit status, standard error
            ("fifo", 2, f"{refused}lock file {self.lock} is not a regular file; refused\n"),
            ("symlink", 2, f"{refused}lock file {self.lock} is a symbolic link; refused\n"),
            ("flock", 2, f"{refused}{self.pts} is held by process {os.getpid()} (flock)\n"),
            # root's open passes an exclusive open, so the CLI asks the line whether it is held.
            ("exclusive", 2, f"{refused}{self.pts} is held by another program{' (exclusive open)' * (os.geteuid() == 0)}\n"),
            ("stale", 0, ""),  # its process is gone: taken over
        ]
        for kind, status, err in cases:
            with self.subTest(kind=kind):
                if kind == "fifo":
                    os.mkfifo(self.lock)
                elif kind == "symlink":
                    self.lock.symlink_to(planted)
                elif kind == "flock":
                    fcntl.flock(holder, fcntl.LOCK_EX)
                elif kind == "exclusive":
                    fcntl.ioctl(holder, termios.TIOCEXCL)
                else:
                    self.lock.write_text("4194305\n")  # beyond the largest process id Linux gives
                before = len(self.settled(0))
                result = cli("read", self.port, "4")
                self.assertEqual((result.returncode, result.stderr), (status, err))
                self.assertEqual(len(self.settled(before)) - before, 0 if status else 2)  # nothing sent when refused
                self.assertEqual((planted.read_text(), self.lock.exists() or self.lock.is_symlink()),
                                 ("keep\n", kind in ("fifo", "symlink")))
                self.lock.unlink(missing_ok=True)
                fcntl.flock(holder, fcntl.LOCK_UN)
                fcntl.ioctl(holder, termios.TIOCNXCL)
        os.close(holder)

    def test_the_line_is_set_raw_9600_8n1_whatever_another_program_left(self):
        other = os.open(self.pts, os.O_RDWR | os.O_NOCTTY)
        iflag, oflag, cflag, lflag, _, _, cc = termios.tcgetattr(other)
        termios.tcsetattr(other, termios.TCSANOW, [iflag | termios.IXON | termios.ICRNL, oflag | termios.OPOST,
                                                     cflag | termios.CRTSCTS | termios.PARENB | termios.CSTOPB,
                                                     lflag | termios.ICANON | termios.ECHO, termios.B4800, termios.B4800, cc])
        watch = subprocess.Popen([CLI, "watch", self.port, "4-4"], stdout=subprocess.PIPE, text=True, env=ENV)
        watch.stdout.readline()  # the CLI holds the line now
        iflag, oflag, cflag, lflag, ispeed, ospeed, _ = termios.tcgetattr(other)
        watch.send_signal(signal.SIGINT)
        self.assertEqual(watch.wait(10), 0)
        watch.stdout.close()
        os.close(other)
        self.assertEqual((iflag, oflag, lflag, cflag & (termios.CSIZE | termios.PARENB | termios.CSTOPB | termios.CRTSCTS),
                          ispeed, ospeed), (0, 0, 0, termios.CS8, termios.B9600, termios.B9600))


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

    def test_an_odd_tree_neither_aborts_nor_hangs_nor_is_read_endlessly(self):
        with tempfile.TemporaryDirectory() as root:
            usb, tty = Path(root, "sys/devices/usb1/1-1"), Path(root, "sys/devices/usb1/1-1/1-1:1.0/ttyUSB1")
            tty.mkdir(parents=True)
            (usb / "idProduct").write_text("6001\n")
            (usb / "manufacturer").write_text("x" * 100000)  # no line end: cut at a few KiB
            os.mkfifo(usb / "product")
            (usb / "idVendor").symlink_to("/dev/zero")
            (tty / "device").symlink_to(tty)
            (tty / "dev").write_text("188:1\n")
            Path(root, "sys/class/tty").mkdir(parents=True)
            Path(root, "sys/class/tty/ttyUSB1").symlink_to(tty)
            Path(root, "sys/class/tty/ttyLOOP").symlink_to("ttyLOOP")  # a link to itself
            Path(root, "dev/serial").mkdir(parents=True)
            Path(root, "dev/serial/by-id").symlink_to("by-id")  # a directory that cannot be listed
            result = cli("ports", env=dict(os.environ, TARVIK_ROOT=root))
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, f"/dev/ttyUSB1  USB :6001  {'x' * 4096}\n", ""))


if __name__ == "__main__":
    unittest.main()
