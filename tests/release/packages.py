#!/usr/bin/env python3
"""The release packages under Wine, all in one fresh prefix removed at the end. Each installer runs silently
in and out (its files, the Start-menu shortcuts, the uninstall entry, the installed Tarvik.exe showing its
dialog with the port list, then a silent uninstall that leaves the user's files as they were and no entry);
the 64-bit one, a 64-bit program, also upgrades in place, refuses a folder of the user's, and keeps what a
second copy elsewhere owns; each zip is unpacked and its Tarvik.exe started from there.
Usage: packages.py RELEASE_DIR"""

import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import harness as h  # noqa: E402

WORK = h.REPO / "build/packages"
UNINSTALL_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvik"
PACKED = ["CHANGELOG.txt", "LICENSE.txt", "Tarvik-guide.html", "Tarvik.exe"]
PACKED += ["tarvik-cli.exe"] if (h.REPO / "build/windows/tarvik-cli.exe").exists() else []
MENU = "Roaming/Microsoft/Windows/Start Menu/Programs/Tarvik"
SHORTCUTS = ["Tarvik 使用指南.lnk", "Tarvik.lnk"]
REFUSED = 2


# A file, not a pipe, takes the output: services Wine starts meanwhile keep inherited descriptors open.
def wine(prefix, exe, *args):
    """Runs `exe` (a path on this machine) with `args` and returns its exit status."""
    with h.wl.open_private(prefix.logs / "wine.out") as out:
        return subprocess.run(["wine", str(prefix.windows_path(exe)), *map(str, args)], stdout=out, stderr=out,
                              **prefix.popen()).returncode


def listing(directory):
    return sorted(p.name for p in directory.iterdir()) if directory.is_dir() else None


def user_files(prefix):
    users = prefix.prefix / "drive_c/users"
    return {str(p.relative_to(users)) for p in users.rglob("*") if "Temp" not in p.parts}


def uninstall_entry(prefix):
    with h.wl.open_private(prefix.logs / "reg.out") as out:
        subprocess.run(["wine", "reg", "query", UNINSTALL_KEY], stdout=out, stderr=subprocess.DEVNULL,
                       **prefix.popen())
    query = (prefix.logs / "reg.out").read_text(errors="replace")
    return dict(line.split(None, 2)[::2] for line in query.splitlines() if "REG_" in line)


def shows_port_list(prefix, exe):
    with prefix.driver() as driver:
        ui = h.Dialog(prefix, driver, exe, windows_version="nt40")
        h.check(ui[h.PORT].items(), ["COM3-->COM3"], f"port list of {exe}")
        ui.main.post(h.wl.WM_CLOSE)
    ui.process.wait(20)


def home(prefix):
    return next((prefix.prefix / "drive_c/users").glob("*/AppData"))


def programs_of(prefix):
    """The pids and command lines of the processes of Wine's account: the run's PID namespace shows only its own."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.stat(f"/proc/{pid}").st_uid == prefix.account.pw_uid:
                found[pid] = Path(f"/proc/{pid}/cmdline").read_bytes()
        except OSError:
            pass
    return found


def uninstall(prefix, folder):
    services = programs_of(prefix)
    h.check(wine(prefix, folder / "uninstall.exe", "/S"), 0, "uninstaller's exit status")
    # The uninstaller runs on from a copy of itself, which Wine does not wait for and which may not have
    # started yet: it has run once it has deleted the installed uninstaller, and ended once only Wine's own
    # services are left (anything else is the copy, named by Wine's loader until Wine names it).
    h.wait_for(lambda: not (folder / "uninstall.exe").exists()
               and all(pid in services or b"\\windows\\sys" in line.lower() for pid, line in programs_of(prefix).items()),
               "the uninstaller's end")


def check_installer(prefix, setup):
    before = user_files(prefix)
    h.check(wine(prefix, setup, "/S"), 0, "installer's exit status")
    installed = home(prefix) / "Local/Programs/Tarvik"
    h.check(listing(installed), sorted(PACKED + ["uninstall.exe"]), "installed files")
    h.check(listing(home(prefix) / MENU), SHORTCUTS, "Start-menu folder")
    place = f"C:\\users\\{home(prefix).parent.name}\\AppData\\Local\\Programs\\Tarvik"
    entry = uninstall_entry(prefix)
    fields = ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "InstallLocation", "QuietUninstallString")
    h.check([entry.get(k) for k in fields], ["Tarvik", setup.name.split("-")[1], "The Tarvik developers",
            place + "\\Tarvik.exe,0", place, f'"{place}\\uninstall.exe" /S'], "uninstall entry")
    h.check(int(entry["EstimatedSize"], 16), sum(f.stat().st_size for f in installed.iterdir()) // 1024,
            "size in the uninstall entry (KB)")
    shows_port_list(prefix, installed / "Tarvik.exe")
    uninstall(prefix, installed)
    h.check(uninstall_entry(prefix), {}, "uninstall entry after uninstalling")
    h.check(sorted(user_files(prefix) ^ before), [], "the user's files changed by installing and uninstalling")


def older_installer(prefix, package):
    """The same installer as an older version whose file set had one more file, made from the zip."""
    stage = prefix.root / "older"
    shutil.rmtree(stage, ignore_errors=True)
    with zipfile.ZipFile(package) as archive:
        archive.extractall(stage)
    files = stage / package.stem
    (files / "OLD.txt").write_text("a file only the older version had\r\n")
    macros = stage / "files.nsh"
    macros.write_text("!macro InstallFiles\n" + "".join(f'  File "{f}"\n' for f in sorted(files.iterdir()))
                      + "!macroend\n!macro RemoveFiles\n"
                      + "".join(f'  Delete "$INSTDIR\\{f.name}"\n' for f in sorted(files.iterdir())) + "!macroend\n")
    setup = stage / "Tarvik-1.0.0.0-win64-setup.exe"
    subprocess.run(["makensis", "-V1", "-INPUTCHARSET", "UTF8", "-DVERSION=1.0.0.0", "-DARCH=win64",
                    f"-DSTAGE={files}", f"-DFILES={macros}", f"-DICON={h.REPO / 'build/windows/res/Tarvik.ico'}",
                    f"-DOUTFILE={setup}", h.REPO / "installer/Tarvik.nsi"], check=True)
    return setup


def users(prefix, path, text=None):
    """A folder, or a file with `text`, of the Windows user's: Wine's account may change it as the user could."""
    if text is None:
        path.mkdir()
    else:
        path.write_text(text)
    os.chown(path, prefix.account.pw_uid, prefix.account.pw_gid)
    return path


def check_installer_keeps_users_files(prefix, setup, package):
    """Upgrade in place, refusal of the user's folder, a second copy elsewhere, each uninstall's leftovers."""
    local = home(prefix) / "Local"
    default = local / "Programs/Tarvik"
    programs_existed = (local / "Programs").exists()
    h.check(wine(prefix, older_installer(prefix, package), "/S"), 0, "older installer's exit status")
    h.check("OLD.txt" in listing(default), True, "the older version's own file installed")
    h.check(wine(prefix, setup, "/S"), 0, "upgrade's exit status")
    h.check(listing(default), sorted(PACKED + ["uninstall.exe"]), "files after the upgrade in place")
    h.check(uninstall_entry(prefix).get("DisplayVersion"), setup.name.split("-")[1], "version in the entry")

    mine = users(prefix, local / "Mine")
    users(prefix, mine / "LICENSE.txt", "the user's own licence\n")
    before = uninstall_entry(prefix)
    h.check(wine(prefix, setup, "/S", f"/D={prefix.windows_path(mine)}"), REFUSED, "exit status into a user's folder")
    h.check([listing(mine), (mine / "LICENSE.txt").read_text(), uninstall_entry(prefix)],
            [["LICENSE.txt"], "the user's own licence\n", before], "the user's folder and the entry after the refusal")

    # A second copy in a new folder under a folder of the user's takes the entry and the Start menu over.
    parent = users(prefix, local / "Tools")
    second = parent / "Tarvik"
    h.check(wine(prefix, setup, "/S", f"/D={prefix.windows_path(second)}"), 0, "second copy's exit status")
    h.check(uninstall_entry(prefix).get("InstallLocation"), str(prefix.windows_path(second)), "entry of the second copy")
    users(prefix, default / "notes.txt", "the user's notes\n")
    uninstall(prefix, default)
    h.check([listing(default), uninstall_entry(prefix).get("InstallLocation"), listing(home(prefix) / MENU)],
            [["notes.txt"], str(prefix.windows_path(second)), SHORTCUTS],
            "first copy uninstalled: the user's file, the second copy's entry and Start menu")
    uninstall(prefix, second)
    h.check([uninstall_entry(prefix), second.exists(), listing(parent), (home(prefix) / MENU).exists(),
             (local / "Programs").exists()], [{}, False, [], False, True],
            "second copy uninstalled: its entry, its folder and Start menu gone, the user's parent kept")
    (default / "notes.txt").unlink()
    default.rmdir()
    if not programs_existed:
        (local / "Programs").rmdir()


def check_zip(prefix, package):
    with zipfile.ZipFile(package) as archive:
        archive.extractall(prefix.root)
    h.check(listing(prefix.root / package.stem), PACKED, f"files in {package.name}")
    shows_port_list(prefix, prefix.root / package.stem / "Tarvik.exe")


def main(release):
    h.wl.isolate()
    results = []
    line = os.ttyname(os.openpty()[1])  # COM3: a pseudo-terminal nothing answers on
    # One fresh prefix serves both architectures (the second installer goes in after the first is
    # proven out) and is removed at the end: a prefix takes over a gigabyte.
    shutil.rmtree(WORK, ignore_errors=True)
    prefix = h.wl.Wine(WORK)
    # The 32-bit installer needs Wine's 32-bit half, which only a kernel that runs 32-bit code has.
    arches = ("win32", "win64") if subprocess.run(["bash", h.REPO / "scripts/runs-32-bit.sh"]).returncode == 0 \
        else ("win64",)
    try:
        prefix.start({"COM3": line})
        for arch in arches:
            setup = next(Path(release).resolve().glob(f"Tarvik-*-{arch}-setup.exe"))
            package = setup.with_name(setup.name.replace("-setup.exe", ".zip"))
            checks = [(f"{setup.name} silently in and out", lambda: check_installer(prefix, setup))]
            if arch == "win64":
                checks.append((f"{setup.name}: upgrade in place, a user's folder refused, a second copy kept",
                               lambda: check_installer_keeps_users_files(prefix, setup, package)))
            checks.append((f"{package.name} unpacked and started", lambda: check_zip(prefix, package)))
            for title, run in checks:
                try:
                    run()
                    results.append(f"PASS  {title}")
                except (*h.FAILURES, subprocess.CalledProcessError) as error:
                    results.append(f"FAIL  {title}: {error}")
                print(results[-1], flush=True)
    finally:
        prefix.stop()
        shutil.rmtree(prefix.prefix, ignore_errors=True)
    failed = sum(result.startswith("FAIL") for result in results)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
