#!/usr/bin/env python3
"""Runs the end-to-end scenarios: the real Tarvik.exe under Wine and Xvfb (tools/winelaunch), driven
through its control ids. Prints one line per scenario, ends with "N passed, M failed"; exits non-zero
on any failure."""

import argparse
import importlib.util
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness as h  # noqa: E402

wl = h.wl


class Rig:
    def __init__(self, exe, work):
        self.exe = Path(exe).resolve()
        self.wine = wl.Wine(work)
        self.ttys = self.wine.root / "ttys"
        self.ttys.mkdir(exist_ok=True)

    def map(self, com):
        self.wine.map({name: self.ttys / name for name in com})

    def restart_wine(self):
        mapped, self.wine.com = self.wine.com, None
        self.wine.stop_server()
        self.wine.map(mapped)


def main():
    wl.isolate()
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", default=h.REPO / "build/windows/Tarvik.exe", help="the Tarvik.exe to test")
    parser.add_argument("--work", default=h.REPO / "build/e2e", help="Wine prefix, logs and screenshots")
    parser.add_argument("-k", dest="name_filter", default="", help="only scenarios whose title contains this")
    args = parser.parse_args()
    for path in sorted((Path(__file__).resolve().parent / "scenarios").glob("*.py")):
        spec = importlib.util.spec_from_file_location(path.stem, path)
        spec.loader.exec_module(importlib.util.module_from_spec(spec))
    # Scenarios with the same COM ports run together: each change of mapping restarts the wineserver.
    runs = sorted(((title, f, com, lang) for title, f, com, langs in h.SCENARIOS for lang in langs
                   if args.name_filter in title), key=lambda run: run[2])

    started = time.monotonic()
    passed = failed = 0
    rig = Rig(args.exe, args.work)
    try:
        rig.wine.start()
        with rig.wine.driver(log_name="setup") as ui:
            ui("regdelete", h.ENUM_KEY)
        for title, function, com, lang in runs:
            title += f" [{lang}]" if lang != h.ZH_CN else ""
            began = time.monotonic()
            rig.map(com)
            ctx = h.Context(rig, lang, "".join(c if c.isalnum() else "-" for c in title)[:60])
            failure = None
            try:
                function(ctx)
            except (h.Failure, wl.DriverError) as error:
                failure = str(error)
            except Exception:  # a fault of the scenario or the rig: this scenario's failure
                failure = traceback.format_exc().strip().splitlines()[-1]
            finally:
                ctx.finish()
            seconds = time.monotonic() - began
            if failure is None:
                passed += 1
                print(f"PASS  {title}  ({seconds:.1f} s)", flush=True)
            else:
                failed += 1
                print(f"FAIL  {title}  ({seconds:.1f} s): {failure}", flush=True)
    except wl.LaunchError as error:
        print(f"the rig failed: {error}")
        failed = max(len(runs) - passed, 1)
    finally:
        rig.wine.stop()
    print(f"logs: {rig.wine.logs}\ne2e run took {time.monotonic() - started:.1f} s\n{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
