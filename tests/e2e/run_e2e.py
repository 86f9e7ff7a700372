#!/usr/bin/env python3
"""Runs the end-to-end scenarios: the real Tarvik.exe under Wine and Xvfb, driven through its
control ids, isolated from the machine's serial devices. Prints one line per scenario and ends with
"N passed, M failed"; exits non-zero on any failure."""

import argparse
import importlib.util
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig  # noqa: E402


def load_scenarios(directory, name_filter):
    for path in sorted(Path(directory).glob("*.py")):
        spec = importlib.util.spec_from_file_location(f"scenarios.{path.stem}", path)
        spec.loader.exec_module(importlib.util.module_from_spec(spec))
    runs = [(s, lang) for s in rig.SCENARIOS for lang in s.langs]
    if name_filter:
        runs = [(s, lang) for s, lang in runs if name_filter in s.title]
    # Scenarios that need the same COM mapping run together: each change of mapping restarts Wine.
    return sorted(runs, key=lambda run: (len(run[0].com), run[0].com))


def run_title(scenario, lang):
    return scenario.title if scenario.langs == (rig.ZH_CN,) else f"{scenario.title} [{lang}]"


def log_name(title):
    return "".join(c if c.isalnum() else "-" for c in title).strip("-").lower()


def run_one(the_rig, scenario, lang):
    """Returns None when the scenario passed, else the reason it failed."""
    title = run_title(scenario, lang)
    the_rig.wine.map_ports(the_rig.driver_path, scenario.com)
    context = rig.Context(the_rig, lang, log_name(title))
    failure = None
    try:
        scenario.function(context)
    except rig.ScenarioFailure as error:
        failure = str(error)
    except Exception:  # a fault of the scenario or the rig: report it as this scenario's failure
        failure = traceback.format_exc().strip().splitlines()[-1]
    if not context.finish():
        failure = failure or "the program did not close"
        the_rig.restart_wine()
        context.remove_registry_keys()
    return failure


def main():
    rig.enter_isolation()
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", default=rig.DEFAULT_EXE, help="Tarvik.exe to test")
    parser.add_argument("--driver", default=rig.DEFAULT_DRIVER, help="tarvik-ui-driver.exe")
    parser.add_argument("--sim", default=rig.DEFAULT_SIM, help="tarvik-sim")
    parser.add_argument("--work", default=rig.REPO / "build/e2e",
                        help="directory for the Wine prefix, logs and screenshots")
    parser.add_argument("-k", dest="name_filter", help="run only scenarios whose title contains this")
    args = parser.parse_args()

    runs = load_scenarios(Path(__file__).resolve().parent / "scenarios", args.name_filter)

    started = time.monotonic()
    passed = failed = 0
    the_rig = None
    try:
        the_rig = rig.Rig(args.work, args.exe, args.driver, args.sim)
        the_rig.start()
        for scenario, lang in runs:
            began = time.monotonic()
            failure = run_one(the_rig, scenario, lang)
            seconds = time.monotonic() - began
            title = run_title(scenario, lang)
            if failure is None:
                passed += 1
                print(f"PASS  {title}  ({seconds:.1f} s)", flush=True)
            else:
                failed += 1
                print(f"FAIL  {title}  ({seconds:.1f} s): {failure}", flush=True)
    except rig.RigError as error:
        print(f"the rig failed: {error}")
        failed = max(len(runs) - passed, 1)
    finally:
        if the_rig:
            the_rig.stop()
    if the_rig:
        for shot in sorted(the_rig.screenshots.glob("*.png")):
            print(f"screenshot: {shot}")
        print(f"logs: {the_rig.wine.logs}")
    print(f"e2e run took {time.monotonic() - started:.1f} s")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0

if __name__ == "__main__":
    sys.exit(main())
