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
from types import SimpleNamespace

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness as h  # noqa: E402


def run(rig, title, function, com, lang):
    rig.wine.map({name: rig.wine.root / "ttys" / name for name in com})
    ctx = h.Context(rig, lang, "".join(c if c.isalnum() else "-" for c in title)[:60])
    try:
        function(ctx)
    except h.FAILURES as error:
        return str(error)
    except Exception:  # a fault of the scenario or the rig: this scenario's failure
        return traceback.format_exc().strip().splitlines()[-1]
    finally:
        ctx.finish()


def main():
    h.wl.isolate()
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", default=h.REPO / "build/windows/Tarvik.exe", help="the Tarvik.exe to test")
    parser.add_argument("--work", default=h.REPO / "build/e2e", help="Wine prefix, logs and screenshots")
    parser.add_argument("-k", dest="name_filter", default="", help="only scenarios whose title contains this")
    args = parser.parse_args()
    for path in sorted((Path(__file__).resolve().parent / "scenarios").glob("*.py")):
        spec = importlib.util.spec_from_file_location(path.stem, path)
        spec.loader.exec_module(importlib.util.module_from_spec(spec))
    # Scenarios with the same COM ports run together: each change of mapping restarts the wineserver.
    runs = sorted(((f"{title} [{lang}]" if lang != h.ZH_CN else title, f, com, lang)
                   for title, f, com, langs in h.SCENARIOS for lang in langs if args.name_filter in title),
                  key=lambda r: r[2])
    started, failed = time.monotonic(), 0
    rig = SimpleNamespace(exe=Path(args.exe).resolve(), wine=h.wl.Wine(args.work))
    (rig.wine.root / "ttys").mkdir(parents=True, exist_ok=True)
    try:
        rig.wine.start()
        with rig.wine.driver(log_name="setup") as ui:
            ui("regdelete", h.ENUM_KEY)  # left by a run that was cut short
        for title, *scenario in runs:
            began, failure = time.monotonic(), run(rig, title, *scenario)
            failed += failure is not None
            print(f"{'FAIL' if failure else 'PASS'}  {title}  ({time.monotonic() - began:.1f} s)"
                  + (f": {failure}" if failure else ""), flush=True)
    except h.wl.LaunchError as error:
        print(f"the rig failed: {error}")
        failed = max(len(runs), 1)
    finally:
        rig.wine.stop()
    print(f"logs: {rig.wine.logs}\ne2e run took {time.monotonic() - started:.1f} s\n"
          f"{max(len(runs) - failed, 0)} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
