#!/usr/bin/env python3
"""Measures what the tests catch: applies each mutant of tests/mutants.txt, one at a time, to a copy of
the working tree (build/mutants/tree), rebuilds it incrementally, runs the tests its line selects and
prints it killed, survived or stale. The working tree itself is never changed."""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
COPY = REPO / "build/mutants/tree"
BREAK = "⏎"
SELECTION = r'(\w+)=("[^"]*"|\S+)'
MUTANT = re.compile(rf"^(?P<file>\S+): `(?P<original>.*?)` -> `(?P<replacement>.*?)`(?P<selections>(?:\s+{SELECTION})*)\s*$")
ALIAS = re.compile(r"^@(?P<name>[\w-]+) = (?P<value>.+)$")


class Mutant:
    def __init__(self, number, file, original, replacement, ctest, e2e):
        self.number, self.file, self.ctest, self.e2e = number, file, ctest, e2e
        self.original = original.replace(BREAK, "\n")
        self.replacement = replacement.replace(BREAK, "\n")

    def label(self):
        return f"#{self.number} {self.file}: `{self.original.strip()}` -> `{self.replacement.strip()}`".replace("\n", BREAK)


def parse(list_path):
    aliases, mutants = {}, []
    for number, line in enumerate(list_path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        alias = ALIAS.match(line)
        if alias:
            aliases[alias["name"]] = alias["value"]
            continue
        found = MUTANT.match(line)
        if not found:
            sys.exit(f"{list_path}:{number}: not a mutant line")
        selections = re.findall(SELECTION, found["selections"])
        unknown = {kind for kind, _ in selections} - {"ctest", "e2e"}
        if unknown:
            sys.exit(f"{list_path}:{number}: unknown selection {sorted(unknown)}")

        def resolve(value):
            if value.startswith("@"):
                if value[1:] not in aliases:
                    sys.exit(f"{list_path}:{number}: no selection named {value}")
                return aliases[value[1:]]
            return value.strip('"')

        ctest = next((resolve(v) for kind, v in selections if kind == "ctest"), None)
        e2e = [resolve(v) for kind, v in selections if kind == "e2e"]
        mutants.append(Mutant(number, found["file"], found["original"], found["replacement"], ctest, e2e))
    return mutants


def run(command, cwd=COPY, timeout=None, quiet=True, env=None):
    """The command's exit status; 124 when it ran past the timeout."""
    output = subprocess.DEVNULL if quiet else None
    try:
        return subprocess.run(command, cwd=cwd, stdout=output, stderr=output, timeout=timeout, env=env).returncode
    except subprocess.TimeoutExpired:
        return 124


def source_files(source):
    """The files of the tree to test: a git checkout's tracked and new files, or all of a plain directory's."""
    if source == REPO:
        listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"], cwd=REPO, check=True,
                                capture_output=True).stdout.decode().split("\0")
        return {name for name in listed if name and (REPO / name).is_file()}
    files = (p.relative_to(source) for p in source.rglob("*") if p.is_file())
    return {p.as_posix() for p in files if p.parts[0] != "build"}


def sync_copy(source):
    """Makes the copy hold the source's files, keeping the modification times of unchanged files so that
    the copy's builds stay incremental."""
    wanted = source_files(source)
    for name in wanted:
        original, target = source / name, COPY / name
        if not target.exists() or target.read_bytes() != original.read_bytes():
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(original, target)  # a new modification time: the builds see the change
    for path in COPY.rglob("*"):
        relative = path.relative_to(COPY).as_posix()
        if path.is_file() and not relative.startswith("build/") and relative not in wanted:
            path.unlink()


def host_test_targets():
    listing = subprocess.run(["cmake", "--build", "--preset", "host", "--target", "help"], cwd=COPY,
                             capture_output=True, text=True, check=True).stdout
    # The simulator and its tests stay as built from the unmutated tree: the scenarios run against it.
    # tarvik-cli's test runs the program itself.
    units = {m for m in re.findall(r"^(\w+_tests):", listing, re.M) if not m.startswith("sim_")}
    return sorted(units) + ["tarvik-cli"]


def unit_cases(targets):
    """Suite.Test -> its binary, for every case of the unit test binaries."""
    cases = {}
    for target in (t for t in targets if t.endswith("_tests")):
        binary = next((COPY / "build/host").rglob(target))
        listing = subprocess.run([binary, "--gtest_list_tests"], capture_output=True, text=True, check=True).stdout
        suite = ""
        for line in listing.splitlines():
            if line.startswith(" "):
                cases[suite + line.split()[0]] = target
            else:
                suite = line.strip()
    return cases


class Runner:
    def __init__(self, args):
        self.args = args
        self.windows_current = False  # the windows build matches the copy's files
        self.e2e_baseline = {}

    def build(self, preset, targets=()):
        if run(["cmake", "--preset", preset]) != 0:
            return False
        command = ["cmake", "--build", "--preset", preset, "-j2"] + (["--target", *targets] if targets else [])
        return run(command) == 0

    def ctest(self, regex):
        """Runs the host tests whose names the regex matches: ctest's own (CliAgainstSimulator) and the
        cases inside the unit test binaries, which ctest runs whole; GTEST_FILTER picks those cases."""
        cases = [case for case in self.unit_cases if re.search(regex, case)]
        selected = "|".join([regex] + [f"^{binary}$" for binary in sorted({self.unit_cases[c] for c in cases})])
        env = {**os.environ, "GTEST_FILTER": ":".join(cases) or "-*"}
        return run(["ctest", "--preset", "host", "-R", selected, "--timeout", "60"], timeout=900, env=env)

    def e2e(self, title):
        return run([sys.executable, "tests/e2e/run_e2e.py", "-k", title], timeout=1200, quiet=not self.args.verbose)

    def baseline(self):
        for preset in ("windows", "host"):
            if not self.build(preset):
                sys.exit(f"the unmutated copy does not build ({preset}); see: cmake --build --preset {preset} in {COPY}")
        self.windows_current = True
        self.unit_targets = host_test_targets()
        self.unit_cases = unit_cases(self.unit_targets)
        if self.ctest("|".join(self.ctest_regexes)) != 0:
            sys.exit("the unmutated copy fails its host tests")

    def e2e_passes_unmutated(self, title):
        if title not in self.e2e_baseline:
            if not self.windows_current:
                self.build("windows")
                self.windows_current = True
            # A title part that matches no scenario any more must not pass for a scenario that passed.
            ran = subprocess.run([sys.executable, "tests/e2e/run_e2e.py", "-k", title], cwd=COPY, capture_output=True,
                                 text=True, timeout=1200)
            passed = re.search(r"^(\d+) passed", ran.stdout, re.M)
            self.e2e_baseline[title] = ran.returncode == 0 and passed is not None and int(passed[1]) > 0
            if not self.e2e_baseline[title]:
                print(f"      no scenario '{title}' passes unmutated: not used", flush=True)
        return self.e2e_baseline[title]

    def judge(self, mutant):
        """killed, survived, skipped or unbuildable, with the layer that killed it."""
        path = COPY / mutant.file
        text = path.read_text(encoding="utf-8") if path.exists() else ""
        if text.count(mutant.original) != 1:
            return "stale", ""
        mutated = text.replace(mutant.original, mutant.replacement)
        try:
            if mutant.ctest:
                path.write_text(mutated, encoding="utf-8")
                if not self.build("host", self.unit_targets):
                    return "unbuildable", "host"
                if self.ctest(mutant.ctest) != 0:
                    return "killed", "ctest"
            if self.args.host_only and mutant.e2e:
                return "skipped", ""
            path.write_text(text, encoding="utf-8")  # the scenarios are first run on the unmutated program
            titles = [title for title in mutant.e2e if self.e2e_passes_unmutated(title)]
            if not titles and not mutant.ctest:
                return "skipped", ""  # no test that passes unmutated bears on it
            if titles:
                path.write_text(mutated, encoding="utf-8")
                self.windows_current = False
                if not self.build("windows"):
                    return "unbuildable", "windows"
                for title in titles:
                    if self.e2e(title) != 0:
                        return "killed", f"e2e '{title}'"
            return "survived", ""
        finally:
            path.write_text(text, encoding="utf-8")

    def main(self):
        mutants = parse(self.args.list)
        if self.args.only:
            mutants = [m for m in mutants if self.args.only in m.file or str(m.number) == self.args.only]
        self.ctest_regexes = sorted({m.ctest for m in mutants if m.ctest})
        if self.args.check:
            for mutant in mutants:
                path = self.args.source / mutant.file
                count = path.read_text(encoding="utf-8").count(mutant.original) if path.exists() else 0
                if count != 1:
                    print(f"stale ({count} found)  {mutant.label()}")
            return 0
        mutants = [m for m in mutants if m.number >= self.args.start]
        COPY.mkdir(parents=True, exist_ok=True)
        sync_copy(self.args.source)
        started = time.monotonic()
        self.baseline()
        results = []
        for mutant in mutants:
            began = time.monotonic()
            verdict, layer = self.judge(mutant)
            results.append((mutant, verdict, layer))
            by = f" by {layer}" if verdict == "killed" else ""
            print(f"{verdict:<11} {mutant.label()}{by}  ({time.monotonic() - began:.0f} s)", flush=True)
        counts = {v: sum(1 for _, verdict, _ in results if verdict == v)
                  for v in ("killed", "survived", "stale", "unbuildable", "skipped")}
        by_e2e = sum(1 for _, verdict, layer in results if verdict == "killed" and layer.startswith("e2e"))
        print(f"\n{len(results)} mutants: {counts['killed']} killed ({counts['killed'] - by_e2e} by host tests, "
              f"{by_e2e} by end-to-end scenarios), {counts['survived']} survived, {counts['stale']} stale, "
              f"{counts['unbuildable']} unbuildable, {counts['skipped']} skipped ({time.monotonic() - started:.0f} s)")
        return 0


def interrupt(*_):
    """A SIGTERM ends the run as Ctrl-C does: through the finally that restores the mutated file."""
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--list", type=Path, default=REPO / "tests/mutants.txt", help="the mutant list")
    parser.add_argument("--only", help="only the mutants of files whose path contains this, or of this list line")
    parser.add_argument("--check", action="store_true", help="only report the stale mutants; builds nothing")
    parser.add_argument("--source", type=Path, default=REPO, help="the tree to test, default this checkout")
    parser.add_argument("--start", type=int, default=0, help="skip the mutants listed before this line")
    parser.add_argument("--host-only", action="store_true", help="run no end-to-end scenarios")
    parser.add_argument("--verbose", action="store_true", help="show the end-to-end runner's output")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, interrupt)
    try:
        return Runner(args).main()
    except KeyboardInterrupt:
        print("interrupted; the copy's mutated file is restored")
        return 130


if __name__ == "__main__":
    sys.exit(main())
