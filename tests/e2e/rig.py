"""The end-to-end rig: a private mount namespace without the machine's serial devices, one headless
Wine prefix, Xvfb, pseudo-terminals attached as COM ports, and the UI driver that works Tarvik.exe
through its control ids.

Scenario files import `scenario`, `check` and `wait_for` from here; the runner (run_e2e.py) and the
run command (run_program.py) use the rest.
"""

import fcntl
import glob
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
DEFAULT_EXE = REPO / "build/windows/Tarvik.exe"
DEFAULT_DRIVER = REPO / "build/windows/tests/e2e/driver/tarvik-ui-driver.exe"
DEFAULT_SIM = REPO / "build/host/tools/sim/tarvik-sim"

ZH_CN = "zh_CN.UTF-8"
C_UTF8 = "C.UTF-8"
# The ANSI code page Wine gives a program under each locale.
ANSI_CODE_PAGE = {ZH_CN: 936, C_UTF8: 1252}

SERIAL_DEVICE_PATTERNS = ("ttyS*", "ttyUSB*", "ttyACM*", "ttyAMA*")
PORTS_KEY = "HKLM\\Software\\Wine\\Ports"
APP_DEFAULTS_KEY = "HKCU\\Software\\Wine\\AppDefaults\\Tarvik.exe"
ENUM_KEY = "HKLM\\Enum"
X11_DRIVER_KEY = "HKCU\\Software\\Wine\\X11 Driver"

# Bumped whenever the way a prefix is made changes, so older prefixes are made again.
PREFIX_RECIPE = 1
REPLY_CEILING_S = 60.0
WAIT_CEILING_S = 20.0


class RigError(Exception):
    """The rig itself cannot do its work (not a scenario's failure)."""


class ScenarioFailure(Exception):
    pass


def check(actual, expected, what):
    if actual != expected:
        raise ScenarioFailure(f"{what}: expected {expected!r}, got {actual!r}")


def wait_for(condition, what, ceiling=WAIT_CEILING_S):
    """Polls `condition` until it holds; fails the scenario after `ceiling` seconds."""
    deadline = time.monotonic() + ceiling
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"{what}: not within {ceiling:g} s")
        time.sleep(0.05)


# ---------------------------------------------------------------------------------------------------
# Scenarios

class Scenario:
    def __init__(self, title, function, com, langs):
        self.title = title
        self.function = function
        self.com = com
        self.langs = langs


SCENARIOS = []


def scenario(title, com=(), langs=(ZH_CN,)):
    """Registers a scenario. `com` names the COM ports Wine maps to our pseudo-terminal links while it
    runs (the scenario creates what stands behind them); it runs once per locale in `langs`."""
    def register(function):
        SCENARIOS.append(Scenario(title, function, tuple(sorted(com)), tuple(langs)))
        return function
    return register


# ---------------------------------------------------------------------------------------------------
# Isolation from the machine's serial devices

ISOLATION_MARK = "TARVIK_E2E_NAMESPACE"


def enter_isolation():
    """Runs the calling program again inside a private mount namespace whose /dev holds only the
    devices Wine and the tools need. The machine's serial ports (ttyS0 is often its console) and the console
    itself do not exist in there, so nothing started from here can reach them."""
    if os.environ.get(ISOLATION_MARK) == "1":
        return
    if os.environ.get(ISOLATION_MARK) == "entering":
        _hide_devices()
        os.environ[ISOLATION_MARK] = "1"
        return
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        # A container without the right to make namespaces; the isolation check then has the last word.
        print("no mount namespace available here: relying on no serial device being visible", flush=True)
        os.environ[ISOLATION_MARK] = "1"
        return
    env = dict(os.environ, **{ISOLATION_MARK: "entering"})
    argv = ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv]
    os.execvpe("unshare", argv, env)


def _run(command, **options):
    if subprocess.run(command, **options).returncode != 0:
        raise RigError(f"{' '.join(map(str, command))} failed")


def _hide_devices():
    stage = tempfile.mkdtemp(prefix="tarvik-dev-")
    _run(["mount", "--rbind", "/dev", stage])
    _run(["mount", "-t", "tmpfs", "-o", "mode=755,size=64k", "tarvik-dev", "/dev"])
    for name in ("null", "zero", "full", "random", "urandom", "tty"):
        if os.path.exists(f"{stage}/{name}"):
            Path("/dev", name).touch()
            _run(["mount", "--bind", f"{stage}/{name}", f"/dev/{name}"])
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


def machine_serial_devices():
    """The serial devices the kernel knows, whether or not /dev shows them here."""
    names = set()
    for pattern in SERIAL_DEVICE_PATTERNS:
        names.update(Path(p).name for p in glob.glob(f"/sys/class/tty/{pattern}"))
    return sorted(names)


def device_problems():
    """The machine's serial devices that are visible here; checked before any Wine process starts."""
    visible = {f"/dev/{name}" for name in machine_serial_devices() if os.path.lexists(f"/dev/{name}")}
    for pattern in SERIAL_DEVICE_PATTERNS:
        visible.update(glob.glob(f"/dev/{pattern}"))
    return [f"{path} is visible" for path in sorted(visible)]


def refuse_unless_isolated(problems):
    if problems:
        raise RigError("refusing to run, Wine is not isolated from the machine's serial devices: "
                       + "; ".join(problems))


# ---------------------------------------------------------------------------------------------------
# Wine

class Wine:
    """One Wine prefix under `root`, with its persistent wineserver and the links its COM ports map to."""

    def __init__(self, root, display=None):
        self.root = Path(root).resolve()
        self.prefix = self.root / "prefix"
        self.ttys = self.root / "ttys"
        self.logs = self.root / "logs"
        self.display = display
        self.mapped = None  # the COM names the running wineserver maps; None before the first start
        for directory in (self.root, self.ttys, self.logs):
            directory.mkdir(parents=True, exist_ok=True)

    def env(self, lang=ZH_CN):
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_")}
        env.update(WINEPREFIX=str(self.prefix), WINEARCH="win64", WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", LANG=lang)
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def link(self, com):
        return self.ttys / com

    def lock(self):
        """Serialises runs that share this prefix (the lock goes with the process)."""
        self._lock = open(self.root / "lock", "w")
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print(f"waiting for another run that uses {self.root}", flush=True)
            fcntl.flock(self._lock, fcntl.LOCK_EX)

    def _stamp(self):
        version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
        return json.dumps({"recipe": PREFIX_RECIPE, "wine": version, "path": str(self.prefix)})

    def ensure_prefix(self):
        """Makes the prefix unless a valid one is there; returns the seconds spent making it (0 if reused)."""
        stamp_file = self.root / "prefix.stamp"
        stamp = self._stamp()
        if stamp_file.exists() and stamp_file.read_text() == stamp and (self.prefix / "system.reg").exists():
            return 0.0
        started = time.monotonic()
        stamp_file.unlink(missing_ok=True)
        self.stop_server()
        shutil.rmtree(self.prefix, ignore_errors=True)
        with open(self.logs / "wineboot.log", "w") as log:
            _run(["wineboot", "-i"], env=self.env(), stdout=log, stderr=log)
            _run(["wineserver", "-w"], env=self.env())
            fonts = self.prefix / "drive_c/windows/Fonts"
            for font in glob.glob("/usr/share/wine/fonts/*.ttf"):
                shutil.copy(font, fonts)
            # Without a window manager, windows only get their frames when Wine draws them itself.
            _run(["wine", "reg", "add", X11_DRIVER_KEY, "/v", "Managed", "/d", "N", "/f"],
                 env=self.env(), stdout=log, stderr=log)
            _run(["wineserver", "-w"], env=self.env())
        stamp_file.write_text(stamp)
        return time.monotonic() - started

    def start_server(self, com=()):
        """Starts the persistent wineserver. Its device manager maps exactly the COM names that
        HKLM\\Software\\Wine\\Ports holds at this moment; stale links from earlier runs go first."""
        for link in (self.prefix / "dosdevices").glob("com*"):
            link.unlink()
        with open(self.logs / "wineserver.log", "a") as log:
            _run(["wineserver", "-p"], env=self.env(), stdout=log, stderr=log)
        self.mapped = tuple(com)

    def stop_server(self):
        if not (self.prefix / "system.reg").exists():
            return
        subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.mapped = None

    def map_ports(self, driver_path, com):
        """Makes Wine map exactly `com` (names such as "COM3") to their links under ttys/. Wine
        opens a mapped name even when nothing stands behind its link, so only the names a scenario
        backs are mapped. A change of mapping needs a new wineserver."""
        com = tuple(sorted(com))
        if self.mapped == com:
            return
        with Driver(self, driver_path, log_name="ports") as driver:
            driver.registry_delete(PORTS_KEY)
            for name in com:
                driver.registry_set(PORTS_KEY, name, str(self.link(name)))
        self.stop_server()
        self.start_server(com)


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
        deadline = time.monotonic() + 30
        while not answer.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], max(deadline - time.monotonic(), 0))
            chunk = os.read(read_end, 32) if ready else b""
            if not chunk:
                break
            answer += chunk
        os.close(read_end)
        number = answer.decode().strip()
        if not answer.endswith(b"\n") or not number.isdigit():
            self.stop()
            raise RigError(f"Xvfb did not start (see {log_path})")
        self.display = f":{number}"

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.log.close()


def screenshot(display, rect, path):
    """Saves the screen area `rect` (a window rectangle) as a PNG once two captures in a row agree,
    so that no half-painted window is kept."""
    path.parent.mkdir(parents=True, exist_ok=True)
    geometry = f"{rect['w']}x{rect['h']}+{max(rect['x'], 0)}+{max(rect['y'], 0)}"

    def capture():
        return subprocess.run(["/usr/bin/import", "-display", display, "-window", "root", "-crop", geometry,
                               "+repage", "rgb:-"], capture_output=True).stdout

    previous = [capture()]

    def settled():
        current = capture()
        same = current == previous[0] and current
        previous[0] = current
        return same

    wait_for(settled, "a settled picture of the window", 10)
    _run(["/usr/bin/import", "-display", display, "-window", "root", "-crop", geometry, "+repage", str(path)])
    return path


# ---------------------------------------------------------------------------------------------------
# The UI driver

class DriverError(ScenarioFailure):
    pass


def _escape(word):
    return (str(word).replace("\\", "\\\\").replace(" ", "\\s").replace("\n", "\\n")
            .replace("\r", "\\r").replace("\t", "\\t"))


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


# Control ids (res/resource.h).
PORT_COMBO = 1000
CONTINUOUS_BUTTON = 1002
SET_HUM_OFFSET_BUTTON = 1003
SET_TEMP_OFFSET_BUTTON = 1004
ADDRESS_EDIT = 1005
TEMP_OFFSET_EDIT = 1006
TEMPERATURE_EDIT = 1007
INFO_EDIT = 1008
TEMP_OFFSET_INPUT = 1009
TYPE_EDIT = 1010
HUM_OFFSET_INPUT = 1011
HUM_OFFSET_EDIT = 1012
HUMIDITY_EDIT = 1013
OPEN_BUTTON = 1014
HW_VERSION_EDIT = 1015
SW_VERSION_EDIT = 1016
RANGE_FROM_EDIT = 1018
READ_BUTTON = 1019
RANGE_TO_EDIT = 1020
SENSOR_ADDRESS_EDIT = 1021
IDOK = 1
SC_CLOSE = 0xF060
SS_ICON = 0x3
SS_TYPEMASK = 0x1F


class Driver:
    """One tarvik-ui-driver.exe under Wine; one line out, one line back. Each method is one command."""

    def __init__(self, wine, driver_path, lang=ZH_CN, log_name="driver"):
        self.log = open(wine.logs / f"{log_name}.log", "a")
        self.process = subprocess.Popen(["wine", str(driver_path)], env=wine.env(lang),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.pending = b""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.quit()

    def call(self, *words):
        line = " ".join(_escape(w) for w in words) + "\n"
        self.log.write(f"> {line}")
        try:
            self.process.stdin.write(line.encode())
            self.process.stdin.flush()
        except BrokenPipeError:
            raise RigError("the UI driver has ended")
        reply = self._read_line()
        self.log.write(f"< {reply}\n")
        self.log.flush()
        if reply == "ok":
            return None
        if reply.startswith("ok "):
            return json.loads(reply[3:])
        if reply.startswith("error "):
            raise DriverError(f"{words[0]}: {reply[6:]}")
        raise RigError(f"the UI driver replied {reply!r}")

    def _read_line(self):
        deadline = time.monotonic() + REPLY_CEILING_S
        fd = self.process.stdout.fileno()
        while b"\n" not in self.pending:
            if time.monotonic() > deadline:
                raise RigError(f"the UI driver did not answer within {REPLY_CEILING_S:g} s")
            # The program it started may hold the pipe open after the driver is gone.
            if self.process.poll() is not None:
                raise RigError("the UI driver has ended")
            ready, _, _ = select.select([fd], [], [], 0.2)
            if not ready:
                continue
            chunk = os.read(fd, 65536)
            if not chunk:
                raise RigError("the UI driver has ended")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8").rstrip("\r")

    def quit(self):
        if self.process.poll() is None:
            try:
                self.call("quit")
            except (RigError, DriverError):
                pass
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.log.close()

    # The program
    def launch(self, exe):
        return self.call("launch", windows_path(exe))

    def alive(self):
        return self.call("alive")

    def wait_exit(self):
        return self.call("wait-exit")

    def close(self):
        self.call("close")

    def acp(self):
        return self.call("acp")

    # The window the commands address: the main dialog, or the About box / message box over it
    def use(self, which):
        self.call("use", which)

    def popup(self):
        return self.call("popup")

    def wait_popup_gone(self):
        self.call("wait-popup-gone")

    def caption(self):
        return self.call("caption")

    def window_enabled(self):
        return self.call("window-enabled")

    def children(self):
        """The controls of the addressed window in z-order: id, class, style, text, enabled, visible."""
        return self.call("children")

    def label_texts(self):
        """The texts of the static controls that show text (icons and blanks left out), in order."""
        return [child["text"] for child in self.children()
                if child["class"] == "Static" and child["style"] & SS_TYPEMASK != SS_ICON and child["text"]]

    def rect(self):
        return self.call("rect")

    def repaint(self):
        """Has the window painted completely now (for a screenshot)."""
        self.call("repaint")

    # Controls
    def text(self, control):
        return self.call("text", control)

    def set_text(self, control, text):
        self.call("settext", control, text)

    def select_text(self, control, start, end):
        """Sets an edit's selection (EM_SETSEL): (0, -1) selects all; start == end puts the caret
        there, a position past the text at its end."""
        self.call("setsel", control, start, end)

    def type(self, control, text):
        """Types the characters into the control at its caret, one WM_CHAR each (edit rules apply)."""
        self.call("type", control, text)

    def paste(self, control, text):
        """Puts the text on the clipboard and pastes it into the control at its caret (WM_PASTE)."""
        self.call("paste", control, text)

    def enabled(self, control):
        return self.call("enabled", control)

    def click(self, control):
        """Returns None when the handler is done, "modal" when it opened a dialog and "closed"."""
        return self.call("click", control)

    def focus(self):
        return self.call("focus")

    def items(self, combo):
        return self.call("items", combo)

    def selection(self, combo):
        return self.call("selection", combo)

    def select(self, combo, index):
        self.call("select", combo, index)

    def drop_down(self, combo):
        return self.call("dropdown", combo)

    def close_up(self, combo):
        self.call("closeup", combo)

    def dropped(self, combo):
        return self.call("dropped", combo)

    def lines(self, edit):
        return self.call("lines", edit)

    def key(self, name):
        """Posts "enter" or "escape" to the focused control; returns "closed" if it closed the window."""
        return self.call("key", name)

    def system_command(self, command):
        return self.call("sysmenu", command)

    def pick_last_system_menu_entry(self):
        """Chooses the system menu's last entry from the keyboard; returns the caption of the dialog
        it opened."""
        return self.call("sysmenu-last")

    # Wine and the system
    def com_ports(self):
        return self.call("comports")

    def resource_string(self, module, string_id):
        return self.call("resstring", windows_path(module), string_id)

    def registry_set(self, key, name, value):
        self.call("regset", key, name, value)

    def registry_delete(self, key):
        self.call("regdelete", key)

    def registry_values(self, key):
        return self.call("regvalues", key)


# ---------------------------------------------------------------------------------------------------
# What stands behind a COM port

class PtyPair:
    """Two connected pseudo-terminals; the link names the one Wine opens, `peer` the other end."""

    def __init__(self, link, log):
        self.link = link
        self.peer = link.with_name(link.name + ".peer")
        for path in (link, self.peer):
            path.unlink(missing_ok=True)
        self.process = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={link}", f"pty,raw,echo=0,link={self.peer}"],
            stdout=log, stderr=log)
        wait_for(lambda: link.exists() and self.peer.exists(), f"pseudo-terminal at {link}", 10)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Sim:
    """A tarvik-sim bus behind a COM link, with its control socket and frame log."""

    def __init__(self, sim_path, link, log_dir, args):
        self.link = link
        self.control_path = log_dir / f"{link.name}.sim.sock"
        self.frame_log = log_dir / f"{link.name}.frames"
        self.frame_log.unlink(missing_ok=True)
        self.stderr = open(log_dir / f"{link.name}.sim.log", "a")
        self.process = subprocess.Popen(
            [str(sim_path), "--link", str(link), "--control", str(self.control_path),
             "--log", str(self.frame_log), *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.stderr)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        self.path = self.process.stdout.readline().decode().strip() if ready else ""
        if not self.path:
            self.stop()
            raise RigError(f"tarvik-sim did not start (see {self.stderr.name})")
        wait_for(lambda: self.control_path.exists(), "the simulator's control socket", 10)

    def command(self, line):
        """Sends one control command; returns the reply's data ("" for a bare ok)."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            connection.settimeout(10)
            connection.connect(str(self.control_path))
            connection.sendall((line + "\n").encode())
            reply = b""
            while not reply.endswith(b"\n"):
                chunk = connection.recv(4096)
                if not chunk:
                    break
                reply += chunk
        reply = reply.decode().strip()
        if reply == "ok":
            return ""
        if reply.startswith("ok "):
            return reply[3:]
        raise ScenarioFailure(f"simulator refused {line!r}: {reply}")

    def frames(self):
        """The logged frames so far: (seconds, "rx" or "tx", bytes)."""
        if not self.frame_log.exists():
            return []
        frames = []
        for line in self.frame_log.read_text().splitlines():
            stamp, direction, *octets = line.split()
            frames.append((float(stamp), direction, bytes(int(o, 16) for o in octets)))
        return frames

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.stderr.close()


# ---------------------------------------------------------------------------------------------------
# One scenario's world

class Context:
    """What a scenario works with: the driver, the program, the ports and the registry, all released
    when the scenario ends, whatever its outcome."""

    def __init__(self, rig, lang, log_name):
        self.rig = rig
        self.lang = lang
        self.log_name = log_name
        self._driver = None
        self._backings = []
        self._registry_keys = []

    @property
    def driver(self):
        if self._driver is None:
            self._driver = Driver(self.rig.wine, self.rig.driver_path, self.lang, self.log_name)
        return self._driver

    def launch(self):
        """Starts Tarvik.exe and returns the driver once its dialog is up."""
        self.driver.launch(self.rig.exe)
        return self.driver

    def pty(self, com):
        """A pseudo-terminal pair behind `com` (which the scenario declared); returns the peer path."""
        self._check_declared(com)
        with open(self.rig.wine.logs / f"{self.log_name}.socat.log", "a") as log:
            pair = PtyPair(self.rig.wine.link(com), log)
        self._backings.append(pair)
        return pair.peer

    def sim(self, com, *args):
        """A simulated sensor bus behind `com`; `args` are tarvik-sim options."""
        self._check_declared(com)
        bus = Sim(self.rig.sim_path, self.rig.wine.link(com), self.rig.wine.logs, args)
        self._backings.append(bus)
        return bus

    def _check_declared(self, com):
        if com not in (self.rig.wine.mapped or ()):
            raise RigError(f"{com} is not among the scenario's declared COM ports")

    def windows_version(self, version):
        """Makes Wine report an older Windows to Tarvik.exe: "nt40", "win98", "win95"."""
        self.registry(APP_DEFAULTS_KEY, "Version", version)

    def registry(self, key, name, value):
        """Sets a text value; the key is removed when the scenario ends."""
        self.driver.registry_set(key, name, value)
        if key not in self._registry_keys:
            self._registry_keys.append(key)

    def registry_tree(self, root, tree):
        """Writes nested dicts of keys and text values below `root`, then removes `root` at the end."""
        def write(key, node):
            for name, value in node.items():
                if isinstance(value, dict):
                    write(f"{key}\\{name}", value)
                else:
                    self.driver.registry_set(key, name, value)
        write(root, tree)
        self._registry_keys.append(root)

    def screenshot(self, name):
        self.driver.use("main")
        self.driver.repaint()
        path = self.rig.screenshots / f"{name}.png"
        return screenshot(self.rig.display, self.driver.rect(), path)

    def finish(self):
        """Closes the program if it still runs, removes the scenario's registry keys, stops the
        driver and the ports. Returns False when the program or the driver did not respond; the
        caller then restarts Wine and calls `remove_registry_keys`."""
        clean = True
        if self._driver is not None:
            try:
                if self._driver.alive():
                    if self._driver.popup() is not None:
                        self._driver.use("popup")
                        self._driver.close()
                        self._driver.wait_popup_gone()
                    self._driver.use("main")
                    self._driver.close()
                    self._driver.wait_exit()
                self._remove_registry_keys(self._driver)
            except (DriverError, RigError):
                clean = False
            self._driver.quit()
        for backing in self._backings:
            backing.stop()
        return clean

    def remove_registry_keys(self):
        """The registry clean-up of `finish`, once a new wineserver has ended a program that hung."""
        with Driver(self.rig.wine, self.rig.driver_path, self.lang, self.log_name) as driver:
            self._remove_registry_keys(driver)

    def _remove_registry_keys(self, driver):
        while self._registry_keys:
            driver.registry_delete(self._registry_keys[-1])
            self._registry_keys.pop()


class Rig:
    """The whole rig for one run: isolation, prefix, display, wineserver."""

    def __init__(self, work, exe, driver_path, sim_path=DEFAULT_SIM, headless=True):
        self.exe = Path(exe).resolve()
        self.driver_path = Path(driver_path).resolve()
        self.sim_path = Path(sim_path).resolve()
        for path, what in ((self.exe, "Tarvik.exe"), (self.driver_path, "the UI driver")):
            if not path.exists():
                raise RigError(f"{what} is missing: {path} (build the windows preset)")
        self.work = Path(work).resolve()
        self.wine = Wine(self.work)
        self.screenshots = self.work / "screenshots"
        self.headless = headless
        self.xvfb = None

    def start(self):
        """Prepares everything and checks the isolation; raises RigError, and runs nothing, when Wine
        could reach a real serial device."""
        self.wine.lock()
        shutil.rmtree(self.screenshots, ignore_errors=True)
        refuse_unless_isolated(device_problems())
        prefix_seconds = self.wine.ensure_prefix()
        if prefix_seconds:
            print(f"Wine prefix made in {prefix_seconds:.1f} s: {self.wine.prefix}", flush=True)
        if self.headless:
            self.xvfb = Xvfb(self.wine.logs / "xvfb.log")
            self.wine.display = self.xvfb.display
        else:
            self.wine.display = os.environ.get("DISPLAY")
        self.wine.stop_server()
        self.wine.start_server()
        self._reset_registry()
        refuse_unless_isolated(self._wine_problems())

    @property
    def display(self):
        return self.wine.display

    def _reset_registry(self):
        """Leaves no trace of an earlier, interrupted run: no COM mapping, no version override, no
        hand-made Enum tree."""
        with Driver(self.wine, self.driver_path, log_name="setup") as driver:
            mapped = driver.registry_values(PORTS_KEY)
            driver.registry_delete(PORTS_KEY)
            driver.registry_delete(APP_DEFAULTS_KEY)
            driver.registry_delete(ENUM_KEY)
            driver.registry_set(X11_DRIVER_KEY, "Managed", "N")
        if mapped:
            self.wine.stop_server()
            self.wine.start_server()

    def _wine_problems(self):
        """What Wine itself could reach: a COM link out of our pseudo-terminal directory, a COM
        mapping, or any COM port that opens at all while nothing is attached."""
        problems = []
        for link in sorted((self.wine.prefix / "dosdevices").glob("com*")):
            target = os.path.realpath(link)
            if not target.startswith(str(self.wine.ttys) + os.sep):
                problems.append(f"{link.name} in the prefix leads to {target}")
        with Driver(self.wine, self.driver_path, log_name="isolation") as driver:
            ports = driver.registry_values(PORTS_KEY)
            if ports:
                problems.append(f"Wine maps COM ports: {ports}")
            openable = driver.com_ports()
            if openable:
                problems.append(f"Wine opens {', '.join(openable)}")
        return problems

    def restart_wine(self):
        """After a scenario that left the program hanging: a fresh wineserver with the same mapping."""
        mapped = self.wine.mapped or ()
        self.wine.stop_server()
        self.wine.start_server(mapped)

    def stop(self):
        self.wine.stop_server()
        if self.xvfb:
            self.xvfb.stop()
