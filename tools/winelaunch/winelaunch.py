#!/usr/bin/env python3
"""Runs a Windows program under Wine on Linux, isolated from the machine's serial devices: a private
mount namespace hides every serial device but the ones given, a reusable prefix with fonts that draw
Chinese texts whole, the given pseudo-terminals or devices as COM ports and nothing else, a display
(a private Xvfb unless one is given), a UI driver for working the program's windows, screenshots.

As a command: winelaunch.py [--com COM3=PATH ...] [--display :N] [--screenshot FILE] EXE [ARG ...]
runs EXE (GUI or console) and exits with its exit code. See README.md beside this file."""

import argparse
import fcntl
import glob
import json
import os
import select
import shutil
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path, PureWindowsPath

REPO = Path(__file__).resolve().parents[2]
DRIVER = REPO / "build/windows/tools/winelaunch/driver/tarvik-ui-driver.exe"
# The driver is a 64-bit program, which Wine's 64-bit loader runs as the very process started here. Through
# `wine`, once Wine's 32-bit half is installed, a 32-bit start.exe would spawn it as a process of its own,
# so the process watched and killed here, and a part of every start, would be start.exe's.
LOADER_64 = "/usr/lib/wine/wine64"
SERIAL_PATTERNS = ("ttyS*", "ttyUSB*", "ttyACM*", "ttyAMA*")
PORTS_KEY = "HKLM\\Software\\Wine\\Ports"
APP_DEFAULTS_KEY = "HKCU\\Software\\Wine\\AppDefaults"
# Bumped whenever the way a prefix is made changes, so older prefixes are made again.
PREFIX_RECIPE = 3
# Without a window manager windows get frames only when Wine draws them itself. Under a Chinese locale
# dialogs ask for SimSun; the CJK font Wine falls back to has an empty "℃", so name one that draws it.
PREFIX_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"SimSun"="Noto Sans CJK SC"
"""
CEILING_S = 20.0


class LaunchError(Exception):
    """Wine cannot be run safely or at all."""


def wait_for(condition, what, ceiling=CEILING_S):
    """Polls `condition` until it gives a true value and returns that; raises TimeoutError after `ceiling` s."""
    deadline = time.monotonic() + ceiling
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise TimeoutError(f"{what}: not within {ceiling:g} s")
        time.sleep(0.02)
    return value


def _run(command, **options):
    if subprocess.run(command, **options).returncode != 0:
        raise LaunchError(f"{' '.join(map(str, command))} failed")


# ---------------------------------------------------------------------------------------------------
# Isolation from the machine's serial devices

ISOLATION_MARK = "WINELAUNCH_ISOLATED"


def serial_device(path):
    """Whether `path` is a terminal device (a serial port or a pseudo-terminal)."""
    try:
        if not stat.S_ISCHR(os.stat(path).st_mode):
            return False
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError:
        return False
    try:
        return os.isatty(fd)
    finally:
        os.close(fd)


def isolate(keep=()):
    """Runs the calling program again inside a private mount namespace whose /dev holds only what Wine
    needs, the pseudo-terminals and the devices in `keep`. Call it first thing, with the same `keep`
    on both sides of the re-run."""
    if os.environ.get(ISOLATION_MARK) == "entering":
        _hide_devices([os.path.realpath(p) for p in keep])
        os.environ[ISOLATION_MARK] = "1"
    if os.environ.get(ISOLATION_MARK) == "1":
        return
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        # Without the right to make namespaces the device check has the last word.
        os.environ[ISOLATION_MARK] = "1"
        return
    env = dict(os.environ, **{ISOLATION_MARK: "entering"})
    os.execvpe("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv], env)


def _hide_devices(keep):
    stage = tempfile.mkdtemp(prefix="winelaunch-dev-")
    _run(["mount", "--rbind", "/dev", stage])
    _run(["mount", "-t", "tmpfs", "-o", "mode=755,size=64k", "winelaunch-dev", "/dev"])
    nodes = ["/dev/" + n for n in ("null", "zero", "full", "random", "urandom", "tty")]
    nodes += [p for p in keep if p.startswith("/dev/") and not p.startswith("/dev/pts/")]
    for node in nodes:
        if os.path.exists(stage + node[4:]):
            os.makedirs(os.path.dirname(node), exist_ok=True)
            Path(node).touch()
            _run(["mount", "--bind", stage + node[4:], node])
    for name in ("pts", "shm"):
        if os.path.isdir(f"{stage}/{name}"):
            os.mkdir(f"/dev/{name}")
            _run(["mount", "--bind", f"{stage}/{name}", f"/dev/{name}"])
    os.symlink("pts/ptmx", "/dev/ptmx")
    os.symlink("/proc/self/fd", "/dev/fd")
    for number, name in enumerate(("stdin", "stdout", "stderr")):
        os.symlink(f"/proc/self/fd/{number}", f"/dev/{name}")
    _run(["umount", "--lazy", stage])
    os.rmdir(stage)


def exposed_serial_devices(allowed=()):
    """The machine's serial devices visible here, but for those `allowed`."""
    visible = set()
    for pattern in SERIAL_PATTERNS:
        visible.update(f"/dev/{Path(p).name}" for p in glob.glob(f"/sys/class/tty/{pattern}"))
        visible.update(glob.glob(f"/dev/{pattern}"))
    allowed = {os.path.realpath(p) for p in allowed}
    return sorted(p for p in visible if os.path.lexists(p) and os.path.realpath(p) not in allowed)


# ---------------------------------------------------------------------------------------------------
# Display

class Xvfb:
    def __init__(self, log_path):
        read_end, write_end = os.pipe()
        self.log = open(log_path, "w")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=self.log, stderr=self.log)
        os.close(write_end)
        # Xvfb writes the number of the display it chose, then a newline, once it accepts clients.
        answer = b""
        while not answer.endswith(b"\n") and select.select([read_end], [], [], 30)[0]:
            chunk = os.read(read_end, 32)
            if not chunk:
                break
            answer += chunk
        os.close(read_end)
        if not answer.endswith(b"\n") or not answer.strip().isdigit():
            self.stop()
            raise LaunchError(f"Xvfb did not start (see {log_path})")
        self.display = f":{answer.decode().strip()}"

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.log.close()


def screenshot(display, window, path):
    """Saves the screen area of `window` as a PNG once two captures in a row agree, so that no
    half-painted window is kept."""
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    window.driver("redraw", window.hwnd)
    x, y, w, h = window.rect()
    crop = ["/usr/bin/import", "-display", display, "-window", "root", "-crop",
            f"{w}x{h}+{max(x, 0)}+{max(y, 0)}", "+repage"]
    previous = [None]

    def settled():
        current = subprocess.run([*crop, "rgb:-"], capture_output=True).stdout
        same, previous[0] = current and current == previous[0], current
        return same

    wait_for(settled, "a settled picture", 10)
    _run([*crop, str(path)])
    return path


# ---------------------------------------------------------------------------------------------------
# Wine

class Wine:
    """One prefix under `root` with its persistent wineserver, its COM ports and its display."""

    def __init__(self, root, display=None):
        self.root = Path(root).resolve()
        self.prefix = self.root / "prefix"
        self.logs = self.root / "logs"
        self.logs.mkdir(parents=True, exist_ok=True)
        self.display = display
        self.xvfb = None
        self.com = None  # COM name -> path, as the running wineserver maps them

    def env(self, lang="zh_CN.UTF-8"):
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_")}
        env.update(WINEPREFIX=str(self.prefix), WINEARCH="win64", WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", LANG=lang, DISPLAY=self.display or "")
        return env

    def start(self, com=None):
        """Checks the isolation, makes or reuses the prefix, starts the display and the wineserver
        with exactly the COM ports in `com` (name -> path)."""
        self._lock = open(self.root / "lock", "w")
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print(f"waiting for another run that uses {self.root}", flush=True)
            fcntl.flock(self._lock, fcntl.LOCK_EX)
        exposed = exposed_serial_devices((com or {}).values())
        if exposed:
            raise LaunchError("refusing to run, these serial devices are not hidden from Wine: "
                              + ", ".join(exposed))
        self._ensure_prefix()
        if not self.display:
            self.xvfb = Xvfb(self.logs / "xvfb.log")
            self.display = self.xvfb.display
        self.map(com or {})

    def _ensure_prefix(self):
        stamp_file = self.root / "prefix.stamp"
        version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
        stamp = json.dumps({"recipe": PREFIX_RECIPE, "wine": version, "path": str(self.prefix)})
        if stamp_file.exists() and stamp_file.read_text() == stamp:
            return
        print(f"making the Wine prefix {self.prefix}", flush=True)
        stamp_file.unlink(missing_ok=True)
        self.stop_server()
        shutil.rmtree(self.prefix, ignore_errors=True)
        settings = self.root / "prefix.reg"
        settings.write_text(PREFIX_SETTINGS)
        with open(self.logs / "wineboot.log", "w") as log:
            for command in (["wineboot", "-i"], ["wine", "regedit", "/S", str(settings)], ["wineserver", "-w"]):
                _run(command, env=self.env(), stdout=log, stderr=log)
        for font in glob.glob("/usr/share/wine/fonts/*.ttf"):
            shutil.copy(font, self.prefix / "drive_c/windows/Fonts")
        stamp_file.write_text(stamp)

    def map(self, com):
        """Makes the wineserver map exactly `com` (COM name -> path), then checks that no other COM
        port opens. Wine reads the mapping when its server starts, so a change restarts it."""
        if self.com == com:
            return
        if self.com is None:
            self._start_server()
        with self.driver() as ui:
            ui("regdelete", PORTS_KEY)
            for name, path in com.items():
                ui("regset", PORTS_KEY, name, os.path.abspath(path))
        self.stop_server()
        for link in (self.prefix / "dosdevices").glob("com*"):
            link.unlink()
        self._start_server()
        self.com = dict(com)
        self._check_ports()

    def restart(self):
        """A fresh wineserver with the same COM ports, as after a program that hung."""
        com, self.com = self.com, None
        self.stop_server()
        self.map(com)

    def _start_server(self):
        # Wine's server dumps its whole object table (megabytes) whenever a serial line it holds hangs up,
        # as the simulated ones do at every scenario's end: keep only the last server's output.
        with open(self.logs / "wineserver.log", "w") as log:
            _run(["wineserver", "-p"], env=self.env(), stdout=log, stderr=log)

    def _check_ports(self):
        mapped = {name.lower() for name in self.com}
        problems = [f"{link.name} leads to {os.path.realpath(link)}"
                    for link in (self.prefix / "dosdevices").glob("com*") if link.name not in mapped]
        with self.driver() as ui:
            problems += [f"COM{n} opens" for n in range(1, 65)
                         if f"com{n}" not in mapped and ui("canopen", f"\\\\.\\COM{n}")]
        if problems:
            self.stop()
            raise LaunchError("refusing to run, Wine reaches more than the mapped COM ports: " + "; ".join(problems))

    def run(self, argv, lang="zh_CN.UTF-8", windows_version=None, **popen):
        """Starts a Windows program; `windows_version` ("nt40", "win98", ...) is what Wine then reports
        to it. The process's exit code is the program's."""
        key = f"{APP_DEFAULTS_KEY}\\{PureWindowsPath(argv[0]).name}"
        with self.driver() as ui:
            ui("regdelete", key)
            if windows_version:
                ui("regset", key, "Version", windows_version)
        return subprocess.Popen(["wine", *map(str, argv)], env=self.env(lang), **popen)

    def driver(self, lang="zh_CN.UTF-8", log_name="driver"):
        return Driver(self, lang, log_name)

    def stop_server(self):
        if (self.prefix / "system.reg").exists():
            for flag in ("-k", "-w"):
                subprocess.run(["wineserver", flag], env=self.env(), stderr=subprocess.DEVNULL)

    def stop(self):
        self.stop_server()
        self.com = None
        if self.xvfb:
            self.xvfb.stop()
            self.xvfb = self.display = None


# ---------------------------------------------------------------------------------------------------
# The UI driver

def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class DriverError(Exception):
    pass


class Driver:
    """The UI driver under Wine: `driver("command", arg, ...)` returns the command's JSON answer."""

    def __init__(self, wine, lang="zh_CN.UTF-8", log_name="driver"):
        self.log = open(wine.logs / f"{log_name}.log", "a")
        self.process = subprocess.Popen([LOADER_64, str(DRIVER)], env=wine.env(lang), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.log)
        self.pending = b""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __call__(self, *words):
        line = " ".join(str(w).translate({92: r"\\", 32: r"\s", 10: r"\n", 13: r"\r", 9: r"\t"}) for w in words)
        self.log.write(f"> {line}\n")
        try:
            self.process.stdin.write(line.encode() + b"\n")
            self.process.stdin.flush()
        except BrokenPipeError:
            raise LaunchError("the UI driver has ended") from None
        fd = self.process.stdout.fileno()
        deadline = time.monotonic() + 3 * CEILING_S
        while b"\n" not in self.pending:
            # The program it started may hold the pipe open after the driver is gone.
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise LaunchError("the UI driver has ended or hangs")
            if select.select([fd], [], [], 0.2)[0]:
                self.pending += os.read(fd, 65536)
        reply, self.pending = self.pending.split(b"\n", 1)
        reply = reply.decode()
        self.log.write(f"< {reply}\n")
        self.log.flush()
        if reply.startswith("ok "):
            return json.loads(reply[3:])
        raise DriverError(f"{words[0]}: {reply}")

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(CEILING_S)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.log.close()


WM_CLOSE, WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSCOMMAND = 0x10, 0x100, 0x101, 0x102, 0x112
WM_SETTEXT, WM_PASTE, BM_CLICK, DM_GETDEFID, DM_SETDEFID = 0xC, 0x302, 0xF5, 0x400, 0x401
CB_GETCOUNT, SC_KEYMENU, SC_CLOSE = 0x146, 0xF100, 0xF060
VK_RETURN, VK_ESCAPE, VK_UP = 0x0D, 0x1B, 0x26
DC_HASDEFID = 0x534B


class Window:
    """A window of a program under Wine, worked through the driver as an operator would."""

    def __init__(self, driver, hwnd):
        self.driver, self.hwnd = driver, hwnd

    def __eq__(self, other):
        return isinstance(other, Window) and other.hwnd == self.hwnd

    def info(self):
        """class, id, style, text, enabled, visible, pid, tid."""
        return self.driver("info", self.hwnd)

    def text(self):
        return self.info()["text"]

    def enabled(self):
        return self.info()["enabled"]

    def children(self):
        return [Window(self.driver, h) for h in self.driver("children", self.hwnd)]

    def item(self, control_id):
        return next(c for c in self.children() if c.info()["id"] == control_id)

    def send(self, message, wparam=0, lparam=0):
        """The handler's result; "modal" when it opened a dialog, "gone" when the window closed."""
        return self.driver("send", self.hwnd, message, wparam, lparam)

    def post(self, message, wparam=0, lparam=0):
        self.driver("post", self.hwnd, message, wparam, lparam)

    def click(self):
        if not self.enabled():
            raise DriverError(f"{self.info()['text']!r} is disabled")
        return self.send(BM_CLICK)

    def set_text(self, text):
        self.driver("sendtext", self.hwnd, WM_SETTEXT, 0, text)

    def type(self, text):
        for c in text:
            self.send(WM_CHAR, ord(c), 1)

    def paste(self, text):
        self.driver("clipboard", text)
        self.send(WM_PASTE)

    def dialogs(self):
        """The visible dialogs of this window's thread but this one."""
        tid = self.info()["tid"]
        return [Window(self.driver, h) for h, cls, _, t in self.driver("windows")
                if h != self.hwnd and t == tid and cls == "#32770"]

    def label_texts(self):
        """The texts of the child static controls that show text (icons and blanks left out), in order."""
        infos = [c.info() for c in self.children()]
        return [i["text"] for i in infos if i["class"] == "Static" and i["style"] & 0x1F != 0x3 and i["text"]]

    def items(self):
        """A combo box's list."""
        return [self.driver("lbtext", self.hwnd, i) for i in range(self.send(CB_GETCOUNT))]

    def choose_system_menu_entry(self, steps_up):
        """Opens the system menu as Alt+Space does and chooses the entry `steps_up` from the top with the
        arrow keys and Enter, as a keyboard user would (menus of another process cannot be read)."""
        self.post(WM_SYSCOMMAND, SC_KEYMENU, ord(" "))
        wait_for(lambda: any(w[1] == "#32768" for w in self.driver("windows")), "the system menu")
        for vk in [VK_UP] * steps_up + [VK_RETURN]:
            self.post(WM_KEYDOWN, vk, 1)
            self.post(WM_KEYUP, vk, 0xC0000001)

    def focus(self):
        hwnd = self.driver("focus", self.info()["tid"])
        return Window(self.driver, hwnd) if hwnd else None

    def key(self, vk, receiver=None):
        """Posts a key press to `receiver` (the focused control by default) and waits until the program
        has handled it; returns "gone" when it closed the window."""
        receiver = receiver or self.focus() or self
        scan = 1 | (0x1C if vk == VK_RETURN else 0x01) << 16
        try:
            receiver.post(WM_KEYDOWN, vk, scan)
            receiver.post(WM_KEYUP, vk, scan | 0xC0000000)
            return self.settle()
        except DriverError:
            if self.hwnd not in [w[0] for w in self.driver("windows")]:
                return "gone"
            raise

    def settle(self):
        """Waits until the program has handled all input posted so far: a posted change of the default
        button to an id no control has marks the end of it; the id is then put back. Returns "gone"
        when the input closed the window."""
        marker = DC_HASDEFID << 16 | 0xFFFE
        default = self.send(DM_GETDEFID)
        self.post(DM_SETDEFID, 0xFFFE)
        if wait_for(lambda: self.send(DM_GETDEFID) in (marker, "gone"), "posted input handled") == "gone":
            return "gone"
        self.send(DM_SETDEFID, default & 0xFFFF if default >> 16 == DC_HASDEFID else 0)

    def rect(self):
        return self.driver("rect", self.hwnd)


def find_window(driver, caption, window_class="#32770", ceiling=CEILING_S, process=None):
    """Waits for a visible top-level window with this caption; None if `process` ends first."""
    def found():
        if process is not None and process.poll() is not None:
            return "ended"
        return next((Window(driver, h) for h, cls, text, _ in driver("windows")
                     if cls == window_class and text == caption), None)
    window = wait_for(found, f"a window {caption!r}", ceiling)
    return None if window == "ended" else window


# ---------------------------------------------------------------------------------------------------
# The command

def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", default=REPO / "build/winelaunch", help="prefix, logs and lock live here")
    parser.add_argument("--com", action="append", default=[], metavar="COMn=PATH",
                        help="map a pseudo-terminal or serial device as a COM port (repeatable)")
    parser.add_argument("--display", help="an X display; default: a private Xvfb")
    parser.add_argument("--lang", default="zh_CN.UTF-8")
    parser.add_argument("--windows-version", help="what Wine reports to the program: nt40, win98, ...")
    parser.add_argument("--screenshot", metavar="FILE",
                        help="save a picture of the program's window titled --caption, then close it")
    parser.add_argument("--caption", help="the caption of the window to screenshot")
    parser.add_argument("exe")
    parser.add_argument("args", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    com = dict(item.split("=", 1) for item in args.com)
    isolate(com.values())
    for path in com.values():
        if not serial_device(path):
            print(f"winelaunch: {path} is not a serial device", file=sys.stderr)
            return 2
    wine = Wine(args.root, args.display)
    try:
        wine.start(com)
        program = wine.run([windows_path(args.exe), *args.args], args.lang, args.windows_version)
        if args.screenshot:
            with wine.driver(args.lang) as ui:
                window = find_window(ui, args.caption, process=program)
                if window:
                    print(screenshot(wine.display, window, args.screenshot))
                    window.post(WM_CLOSE)
        return program.wait()
    except LaunchError as error:
        print(f"winelaunch: {error}", file=sys.stderr)
        return 1
    finally:
        wine.stop()


if __name__ == "__main__":
    sys.exit(main())
