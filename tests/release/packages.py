#!/usr/bin/env python3
"""The release packages under Wine: each installer runs silently in a fresh prefix, one after the other (its files, the
Start-menu shortcuts, the uninstall entry, the installed Tarvik.exe showing its dialog with the port
list, then a silent uninstall that leaves the user's files as they were and no entry), and each zip is
unpacked and its Tarvik.exe started from there. Usage: packages.py RELEASE_DIR"""

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


# A file, not a pipe, takes the output: services Wine starts meanwhile keep inherited descriptors open.
def wine(prefix, *argv, check=True):
    with open(prefix.logs / "wine.out", "w+", errors="replace") as out:
        subprocess.run(["wine", *map(str, argv)], env=prefix.env(), stdout=out, stderr=out, check=check)
        out.seek(0)
        return out.read()


def listing(directory):
    return sorted(p.name for p in directory.iterdir()) if directory.is_dir() else None


def user_files(prefix):
    users = prefix.prefix / "drive_c/users"
    return {str(p.relative_to(users)) for p in users.rglob("*") if "Temp" not in p.parts}


def uninstall_entry(prefix):
    query = wine(prefix, "reg", "query", UNINSTALL_KEY, check=False)
    return dict(line.split(None, 2)[::2] for line in query.splitlines() if "REG_" in line)


def shows_port_list(prefix, exe):
    with prefix.driver() as driver:
        ui = h.Dialog(prefix, driver, exe, windows_version="nt40")
        h.check(ui[h.PORT].items(), ["COM3-->COM3"], f"port list of {exe}")
        ui.main.post(h.wl.WM_CLOSE)
    ui.process.wait(20)


def check_installer(prefix, setup):
    before = user_files(prefix)
    wine(prefix, setup, "/S")
    home = next((prefix.prefix / "drive_c/users").glob("*/AppData"))
    installed = home / "Local/Programs/Tarvik"
    h.check(listing(installed), sorted(PACKED + ["uninstall.exe"]), "installed files")
    h.check(listing(home / "Roaming/Microsoft/Windows/Start Menu/Programs/Tarvik"),
            ["Tarvik 使用指南.lnk", "Tarvik.lnk"], "Start-menu folder")
    place = f"C:\\users\\{home.parent.name}\\AppData\\Local\\Programs\\Tarvik\\"
    entry = uninstall_entry(prefix)
    fields = ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "QuietUninstallString")
    h.check([entry.get(k) for k in fields], ["Tarvik", setup.name.split("-")[1], "The Tarvik developers",
            place + "Tarvik.exe,0", f'"{place}uninstall.exe" /S'], "uninstall entry")
    h.check(int(entry["EstimatedSize"], 16), sum(f.stat().st_size for f in installed.iterdir()) // 1024,
            "size in the uninstall entry (KB)")
    shows_port_list(prefix, installed / "Tarvik.exe")
    wine(prefix, installed / "uninstall.exe", "/S")
    # The uninstaller runs on from a copy of itself; removing the entry is its last step.
    h.wait_for(lambda: not uninstall_entry(prefix), "the uninstall entry removed")
    h.check(sorted(user_files(prefix) ^ before), [], "the user's files changed by installing and uninstalling")


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
    try:
        prefix.start({"COM3": line})
        for arch in ("win32", "win64"):
            setup = next(Path(release).resolve().glob(f"Tarvik-*-{arch}-setup.exe"))
            package = setup.with_name(setup.name.replace("-setup.exe", ".zip"))
            for title, run in ((f"{setup.name} silently in and out", lambda: check_installer(prefix, setup)),
                               (f"{package.name} unpacked and started", lambda: check_zip(prefix, package))):
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
