#!/usr/bin/env python3
"""The release packages under Wine: each installer runs silently in a fresh prefix (its files, the
Start-menu shortcuts, the uninstall entry, the installed Tarvik.exe showing its dialog with the port
list, then a silent uninstall that leaves the user's files as they were and no entry), and each zip is
unpacked and its Tarvik.exe started from there. Usage: packages.py RELEASE_DIR"""

import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import rig  # noqa: E402

WORK = rig.REPO / "build/packages"
UNINSTALL_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvik"
PACKED = ["CHANGELOG.txt", "LICENSE.txt", "Tarvik-guide.html", "Tarvik.exe"]
PACKED += ["tarvik-cli.exe"] if (rig.REPO / "build/windows/tarvik-cli.exe").exists() else []
SHORTCUTS = ["Tarvik 使用指南.lnk", "Tarvik.lnk"]


def wine(the_rig, *argv, check=True):
    """Runs a Windows program to its end and returns its output; a file, not a pipe, takes it, as
    services Wine starts meanwhile keep their inherited descriptors open."""
    with open(the_rig.wine.logs / "wine.out", "w+", errors="replace") as out:
        subprocess.run(["wine", *map(str, argv)], env=the_rig.wine.env(), stdout=out, stderr=out, check=check)
        out.seek(0)
        return out.read()


def listing(directory):
    return sorted(p.name for p in directory.iterdir()) if directory.is_dir() else None


def user_files(the_rig):
    """The user's files but for temporary ones."""
    users = the_rig.wine.prefix / "drive_c/users"
    return {str(p.relative_to(users)) for p in users.rglob("*") if "Temp" not in p.parts}


def uninstall_entry(the_rig):
    query = wine(the_rig, "reg", "query", UNINSTALL_KEY, check=False)
    return dict(line.split(None, 2)[::2] for line in query.splitlines() if "REG_" in line)


def shows_port_list(the_rig, exe):
    the_rig.exe = exe
    context = rig.Context(the_rig, rig.ZH_CN, exe.parent.name)
    try:
        context.pty("COM3")
        context.windows_version("nt40")
        rig.check(context.launch().items(rig.PORT_COMBO), ["COM3-->COM3"], f"port list of {exe}")
    finally:
        context.finish()


def check_installer(the_rig, setup, version):
    before = user_files(the_rig)
    wine(the_rig, setup, "/S")
    home = next((the_rig.wine.prefix / "drive_c/users").glob("*/AppData"))
    installed = home / "Local/Programs/Tarvik"
    rig.check(listing(installed), sorted(PACKED + ["uninstall.exe"]), "installed files")
    rig.check(listing(home / "Roaming/Microsoft/Windows/Start Menu/Programs/Tarvik"), SHORTCUTS, "Start menu")
    entry = uninstall_entry(the_rig)
    place = "C:\\users\\" + home.parent.name + "\\AppData\\Local\\Programs\\Tarvik\\"
    rig.check({k: entry.get(k) for k in ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon",
                                           "QuietUninstallString")},
              {"DisplayName": "Tarvik", "DisplayVersion": version, "Publisher": "The Tarvik developers",
               "DisplayIcon": place + "Tarvik.exe,0", "QuietUninstallString": f'"{place}uninstall.exe" /S'},
              "uninstall entry")
    size = sum(f.stat().st_size for f in installed.iterdir()) // 1024
    rig.check(int(entry["EstimatedSize"], 16), size, "size in the uninstall entry (KB)")
    shows_port_list(the_rig, installed / "Tarvik.exe")
    wine(the_rig, installed / "uninstall.exe", "/S")
    # The uninstaller runs on from a copy of itself; its last step removes the entry.
    rig.wait_for(lambda: not uninstall_entry(the_rig), "the uninstall entry removed")
    rig.check(sorted(user_files(the_rig) ^ before), [], "the user's files changed by installing and uninstalling")


def check_zip(the_rig, package):
    unpacked = the_rig.work / "unpacked"
    with zipfile.ZipFile(package) as archive:
        archive.extractall(unpacked)
    rig.check(listing(unpacked / package.stem), PACKED, f"files in {package.name}")
    shows_port_list(the_rig, unpacked / package.stem / "Tarvik.exe")


def main(release):
    rig.enter_isolation()
    failed = passed = 0
    for arch in ("win32", "win64"):
        setup = next(Path(release).glob(f"Tarvik-*-{arch}-setup.exe")).resolve()
        version = setup.name.split("-")[1]
        package = setup.with_name(f"Tarvik-{version}-{arch}.zip")
        shutil.rmtree(WORK / arch, ignore_errors=True)
        the_rig = rig.Rig(WORK / arch, setup, rig.DEFAULT_DRIVER)
        try:
            the_rig.start()
            the_rig.wine.map_ports(the_rig.driver_path, ["COM3"])
            for title, run in ((f"{setup.name} in a fresh prefix, silently in and out",
                                lambda: check_installer(the_rig, setup, version)),
                               (f"{package.name} unpacked and started", lambda: check_zip(the_rig, package))):
                try:
                    run()
                    passed += 1
                    print(f"PASS  {title}", flush=True)
                except (rig.ScenarioFailure, rig.RigError, subprocess.CalledProcessError) as error:
                    failed += 1
                    print(f"FAIL  {title}: {error}", flush=True)
        finally:
            the_rig.stop()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
