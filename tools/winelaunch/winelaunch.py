#!/usr/bin/env python3
"""Runs a Windows program under Wine on Linux, isolated from the machine's serial devices and from the
rest of the machine: private mount and PID namespaces hide every serial device but the ones given and
every process but the run's own, Wine runs as an unprivileged user with no drive on /, a reusable prefix
with fonts that draw Chinese texts whole, the given pseudo-terminals or devices as COM ports and nothing
else, a display (a private Xvfb that asks for a cookie, unless one is given), a UI driver for working the
program's windows, screenshots.

As a command: winelaunch.py [--com COM3=PATH ...] [--display :N] [--screenshot FILE] EXE [ARG ...]
runs EXE (GUI or console) and exits with its exit code. See README.md beside this file."""

import argparse
import ctypes
import fcntl
import glob
import json
import os
import pwd
import select
import shutil
import signal
import stat
import string
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
PREFIX_RECIPE = 4
# Without a window manager windows get frames only when Wine draws them itself. Under a Chinese locale
# dialogs ask for SimSun; the CJK font Wine falls back to has an empty "℃", so name one that draws it.
PREFIX_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"SimSun"="Noto Sans CJK SC"
"""
CEILING_S = 20.0
# Wine's account when the launcher runs as root and no sudo names the invoking user (scripts/install-deps.sh).
ACCOUNT = "winelaunch"


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
CLONE_NEWNS, CLONE_NEWUSER, CLONE_NEWPID = 0x00020000, 0x10000000, 0x20000000
# Character-device majors of serial drivers: 8250/16550 ports (major 4 from minor 64; below are the
# virtual consoles), USB-serial, USB CDC-ACM, the low-density serial drivers (ttyAMA and the like), and
# the pseudo-terminal slaves (136-143) that stand in for them in the simulator and the tests.
SERIAL_MAJORS = {4: 64, 166: 0, 188: 0, 204: 0, **{major: 0 for major in range(136, 144)}}
PTY_MAJORS = range(136, 144)


def serial_device(path):
    """The one resolved path of `path` when it is a serial device or a pseudo-terminal slave the caller
    may hand over (its own), else None. Nothing is opened: /dev/ptmx, consoles and terminals are refused
    by their numbers."""
    real = os.path.realpath(path)
    try:
        info = os.stat(real)
    except OSError:
        return None
    if not stat.S_ISCHR(info.st_mode):
        return None
    major, minor = os.major(info.st_rdev), os.minor(info.st_rdev)
    if major not in SERIAL_MAJORS or minor < SERIAL_MAJORS[major]:
        return None
    if major in PTY_MAJORS and info.st_uid != os.geteuid():
        return None
    return real


def _relay_signals_to(pid):
    # Ctrl-C and a hang-up reach the whole process group, the program too; a stop is sent to the first.
    for number in (signal.SIGINT, signal.SIGHUP):
        signal.signal(number, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, lambda n, frame: os.kill(pid, n))


def _exit_like(status):
    code = os.waitstatus_to_exitcode(status)
    os._exit(code if code >= 0 else 128 - code)


def isolate(keep=()):
    """Runs the rest of the calling program in private mount and PID namespaces: a /dev that holds only
    what Wine needs, the pseudo-terminals and the devices in `keep` (resolved paths); a /proc that shows
    only the run's processes, all of which end with it. Call it first thing. Without root, a user
    namespace gives the right to make them, and Wine runs as the caller."""
    if os.environ.get(ISOLATION_MARK) == "1":
        return
    libc = ctypes.CDLL(None, use_errno=True)
    uid, gid = os.geteuid(), os.getegid()
    flags = CLONE_NEWNS | CLONE_NEWPID | (CLONE_NEWUSER if uid else 0)
    if libc.unshare(flags) != 0:
        raise LaunchError(f"cannot make private namespaces: {os.strerror(ctypes.get_errno())}")
    if uid:
        Path("/proc/self/setgroups").write_text("deny")
        Path("/proc/self/uid_map").write_text(f"0 {uid} 1")
        Path("/proc/self/gid_map").write_text(f"0 {gid} 1")
    os.environ[ISOLATION_MARK] = "1"
    init = os.fork()
    if init:  # outside: the namespace lives as long as its first process
        _relay_signals_to(init)
        _exit_like(os.waitpid(init, 0)[1])
    # The first process of the PID namespace: it makes the mounts, then reaps every orphan (Wine's
    # servers and services) while the program runs on in its own process.
    _run(["mount", "--make-rprivate", "/"])
    _run(["mount", "-t", "proc", "-o", "nosuid,nodev,noexec", "proc", "/proc"])
    _hide_devices(keep)
    program = os.fork()
    if program:
        _relay_signals_to(program)
        while True:
            pid, status = os.wait()
            if pid == program:
                _exit_like(status)


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
# Files of the run and Wine's account

def open_private(path, mode="w"):
    """Opens a file of the run's own folders for writing ("w" empties it, "a" appends) without following a
    link planted in its place."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_NOFOLLOW | os.O_CLOEXEC | (os.O_APPEND if mode[0] == "a" else os.O_TRUNC)
    return os.fdopen(os.open(path, flags, 0o644), mode)


def private_folder(path):
    """`path` made if missing; refused unless it is a real folder of the caller's that no one else may write to."""
    path.mkdir(parents=True, exist_ok=True)
    info = os.lstat(path)
    if not stat.S_ISDIR(info.st_mode) or info.st_uid != os.geteuid() or info.st_mode & 0o022:
        raise LaunchError(f"refusing to use {path}: not a folder of yours that only you may write to")
    return path


def wine_account():
    """The account Wine runs as: the caller, unless the caller is the machine's root; then the user sudo
    names, or the dedicated account."""
    if Path("/proc/self/uid_map").read_text().split() != ["0", "0", "4294967295"]:
        return pwd.getpwuid(os.geteuid())  # in a user namespace: the caller, without a privilege outside it
    sudo_uid = os.environ.get("SUDO_UID", "0")
    if sudo_uid != "0":
        return pwd.getpwuid(int(sudo_uid))
    try:
        return pwd.getpwnam(ACCOUNT)
    except KeyError:
        raise LaunchError(f"no account {ACCOUNT!r} to run Wine as (scripts/install-deps.sh makes it)") from None


# ---------------------------------------------------------------------------------------------------
# Display

def write_cookie(path):
    """An X authority file with one fresh MIT-MAGIC-COOKIE-1 for any display: the server loads it with
    -auth, the clients find it through XAUTHORITY."""
    def counted(data):
        return len(data).to_bytes(2, "big") + data
    family_wild = b"\xff\xff"
    with open_private(path, "wb") as cookie:
        cookie.write(family_wild + counted(b"") + counted(b"") + counted(b"MIT-MAGIC-COOKIE-1")
                     + counted(os.urandom(16)))


class Xvfb:
    """A private X server that serves only clients that show its cookie."""

    def __init__(self, log_path, authority, popen):
        read_end, write_end = os.pipe()
        self.log = open_private(log_path)
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-auth", str(authority), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=self.log, stderr=self.log, **popen)
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


def screenshot(wine, window, path):
    """Saves the screen area of `window` as a PNG once two captures in a row agree, so that no
    half-painted window is kept."""
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    window.driver("redraw", window.hwnd)
    x, y, w, h = window.rect()
    crop = ["/usr/bin/import", "-display", wine.display, "-window", "root", "-crop",
            f"{w}x{h}+{max(x, 0)}+{max(y, 0)}", "+repage"]
    x_env = dict(os.environ, **wine.x_env())
    previous = [None]

    def settled():
        current = subprocess.run([*crop, "rgb:-"], capture_output=True, env=x_env).stdout
        same, previous[0] = current and current == previous[0], current
        return same

    wait_for(settled, "a settled picture", 10)
    _run([*crop, str(path)], env=x_env)
    return path


# ---------------------------------------------------------------------------------------------------
# Wine

class Wine:
    """One prefix under `root` with its persistent wineserver, its COM ports, its drives and its display.
    Making one waits for the root's lock: nothing under the root is touched before."""

    def __init__(self, root, display=None):
        self.root = private_folder(Path(root).resolve())
        try:
            self._lock = os.fdopen(os.open(self.root / "lock", os.O_RDONLY | os.O_CREAT | os.O_NOFOLLOW | os.O_CLOEXEC, 0o644))
        except OSError as error:
            raise LaunchError(f"refusing to use {self.root / 'lock'}: {error.strerror}") from None
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print(f"waiting for another run that uses {self.root}", flush=True)
            fcntl.flock(self._lock, fcntl.LOCK_EX)
        self.account = wine_account()
        self.prefix = self.root / "prefix"
        self.home = self.root / "home"
        self.logs = private_folder(self.root / "logs")
        self.display = display
        self.xvfb = None
        # A display given comes with the caller's cookie, which Wine's account must be able to read.
        self.authority = display and os.environ.get("XAUTHORITY") and Path(os.environ["XAUTHORITY"])
        self.server_started = False
        self.com = None  # COM name -> path, as the running wineserver maps them
        self.granted = {}  # device -> its owner and mode before Wine was given it

    def popen(self, lang="zh_CN.UTF-8"):
        """The environment, account and working folder a Wine process starts with: nothing of the caller's
        but its path, and a folder on a drive (C:), where Wine finds one that a program may see."""
        drive_c = self.prefix / "drive_c"
        options = dict(cwd=drive_c if drive_c.is_dir() else self.home, env={"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.home),
                            "USER": self.account.pw_name, "LOGNAME": self.account.pw_name, "LANG": lang,
                            "WINEPREFIX": str(self.prefix), "WINEARCH": "win64", "WINEDEBUG": "-all",
                            "WINEDLLOVERRIDES": "mscoree,mshtml=,winemenubuilder.exe=d", **self.x_env()})
        if self.account.pw_uid != os.geteuid():
            options.update(user=self.account.pw_uid, group=self.account.pw_gid, extra_groups=[])
        return options

    def x_env(self):
        return {"DISPLAY": self.display or "", **({"XAUTHORITY": str(self.authority)} if self.authority else {})}

    def _wine_owns(self, path):
        os.chown(path, self.account.pw_uid, self.account.pw_gid)

    def start(self, com=None):
        """Checks the isolation, makes or reuses the prefix, starts the display and the wineserver
        with exactly the COM ports in `com` (name -> path)."""
        exposed = exposed_serial_devices((com or {}).values())
        if exposed:
            raise LaunchError("refusing to run, these serial devices are not hidden from Wine: "
                              + ", ".join(exposed))
        self._ensure_prefix()
        self._set_drives()
        if not self.display:
            # The cookie's folder is Wine's account's alone; the X server runs as that account too.
            x11 = Path(tempfile.mkdtemp(prefix="winelaunch-x11-"))
            self.authority = x11 / "authority"
            write_cookie(self.authority)
            for path in (x11, self.authority):
                self._wine_owns(path)
            popen = self.popen()
            popen.pop("env")
            try:
                self.xvfb = Xvfb(self.logs / "xvfb.log", self.authority, popen)
            except LaunchError:
                shutil.rmtree(x11)
                raise
            self.display = self.xvfb.display
        self.map(com or {})

    def _ensure_prefix(self):
        stamp_file = self.root / "prefix.stamp"
        version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
        stamp = json.dumps({"recipe": PREFIX_RECIPE, "wine": version, "path": str(self.prefix),
                            "account": self.account.pw_uid})
        if stamp_file.exists() and stamp_file.read_text() == stamp and os.lstat(self.prefix).st_uid == self.account.pw_uid:
            return
        print(f"making the Wine prefix {self.prefix}", flush=True)
        stamp_file.unlink(missing_ok=True)
        for folder in (self.prefix, self.home):
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir()
            self._wine_owns(folder)
        settings = self.root / "prefix.reg"
        with open_private(settings) as file:
            file.write(PREFIX_SETTINGS)
        with open_private(self.logs / "wineboot.log") as log:
            for command in (["wineboot", "-i"], ["wine", "regedit", "/S", str(settings)], ["wineserver", "-w"],
                            ["cp", *glob.glob("/usr/share/wine/fonts/*.ttf"), str(self.prefix / "drive_c/windows/Fonts")]):
                _run(command, stdout=log, stderr=log, **self.popen())
        with open_private(stamp_file) as file:
            file.write(stamp)

    def _set_drives(self):
        """C: and the folders of the programs run (see windows_path), no drive on / or elsewhere."""
        dosdevices = self.prefix / "dosdevices"
        for link in dosdevices.iterdir():
            if link.name[0].isalpha() and link.name[1:] in (":", "::") and link.name != "c:":
                link.unlink()
        self.drives = {self.prefix / "drive_c": "C"}  # folder -> drive letter

    def windows_path(self, path):
        """`path` as the program sees it: through a drive of its folder, made at the first use."""
        path = Path(path).resolve()
        for folder, letter in self.drives.items():
            if path == folder or folder in path.parents:
                return PureWindowsPath(f"{letter}:\\", *path.relative_to(folder).parts)
        folder = path.parent
        letter = next(c for c in string.ascii_uppercase[3:] if c not in self.drives.values())
        os.symlink(folder, self.prefix / "dosdevices" / f"{letter.lower()}:")
        self.drives[folder] = letter
        return PureWindowsPath(f"{letter}:\\", path.name)

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
        with open_private(self.logs / "wineserver.log") as log:
            _run(["wineserver", "-p"], stdout=log, stderr=log, **self.popen())
        self.server_started = True

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

    def grant_lines(self):
        """Gives Wine's account the devices behind the mapped COM ports, and only those. A simulator makes
        a new pseudo-terminal for each bus and when its line returns, so this is done before each program
        starts and before each command of the UI driver."""
        if self.account.pw_uid == os.geteuid():
            return
        for path in (self.com or {}).values():
            device = serial_device(path)  # None too once it is the account's
            if device:
                info = os.stat(device)
                self.granted.setdefault(device, (info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)))
                os.chown(device, self.account.pw_uid, -1)
                os.chmod(device, 0o600)

    def _return_lines(self):
        for device, (uid, gid, mode) in self.granted.items():
            try:
                os.chown(device, uid, gid)
                os.chmod(device, mode)
            except FileNotFoundError:  # a pseudo-terminal whose simulator has ended
                pass
        self.granted = {}

    def run(self, argv, lang="zh_CN.UTF-8", windows_version=None, **popen):
        """Starts the Windows program at the path argv[0] with the arguments after it; `windows_version`
        ("nt40", "win98", ...) is what Wine then reports to it. The process's exit code is the program's."""
        exe = self.windows_path(argv[0])
        key = f"{APP_DEFAULTS_KEY}\\{exe.name}"
        with self.driver() as ui:
            ui("regdelete", key)
            if windows_version:
                ui("regset", key, "Version", windows_version)
        self.grant_lines()
        return subprocess.Popen(["wine", str(exe), *map(str, argv[1:])], **self.popen(lang), **popen)

    def driver(self, lang="zh_CN.UTF-8", log_name="driver"):
        return Driver(self, lang, log_name)

    def stop_server(self):
        """Stops the wineserver this run started, never another run's."""
        if self.server_started:
            for flag in ("-k", "-w"):
                subprocess.run(["wineserver", flag], stderr=subprocess.DEVNULL, **self.popen())
            self.server_started = False

    def stop(self):
        self.stop_server()
        self.com = None
        self._return_lines()
        if self.xvfb:
            self.xvfb.stop()
            shutil.rmtree(self.authority.parent, ignore_errors=True)
            self.xvfb = self.display = self.authority = None


# ---------------------------------------------------------------------------------------------------
# The UI driver

class DriverError(Exception):
    pass


class Driver:
    """The UI driver under Wine: `driver("command", arg, ...)` returns the command's JSON answer."""

    def __init__(self, wine, lang="zh_CN.UTF-8", log_name="driver"):
        self.wine = wine
        self.log = open_private(wine.logs / f"{log_name}.log", "a")
        self.process = subprocess.Popen([LOADER_64, str(wine.windows_path(DRIVER))], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.log, **wine.popen(lang))
        self.pending = b""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __call__(self, *words):
        line = " ".join(str(w).translate({92: r"\\", 32: r"\s", 10: r"\n", 13: r"\r", 9: r"\t"}) for w in words)
        self.log.write(f"> {line}\n")
        self.wine.grant_lines()
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
    com = {}
    for name, path in (item.split("=", 1) for item in args.com):
        com[name] = serial_device(path)
        if not com[name]:
            print(f"winelaunch: {path} is not a serial device of yours", file=sys.stderr)
            return 2
    try:
        isolate(com.values())
        wine = Wine(args.root, args.display)
    except LaunchError as error:
        print(f"winelaunch: {error}", file=sys.stderr)
        return 1
    try:
        wine.start(com)
        program = wine.run([args.exe, *args.args], args.lang, args.windows_version)
        if args.screenshot:
            with wine.driver(args.lang) as ui:
                window = find_window(ui, args.caption, process=program)
                if window:
                    print(screenshot(wine, window, args.screenshot))
                    window.post(WM_CLOSE)
        return program.wait()
    except LaunchError as error:
        print(f"winelaunch: {error}", file=sys.stderr)
        return 1
    finally:
        wine.stop()


if __name__ == "__main__":
    sys.exit(main())
