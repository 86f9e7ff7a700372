#!/usr/bin/env bash
usage="usage: scripts/test.sh [--quick]
  (none)   installs what is missing, builds every preset and the release, then runs the host tests, the
           same host tests under ASan and UBSan, the end-to-end scenarios against the 64-bit and the
           32-bit Tarvik.exe, the check of the .exe's import tables, the packaging scenarios, every fuzz
           target for 30 s and a 2-minute soak
  --quick  the inner loop: builds the 64-bit .exe and the host targets, runs the host tests and the
           end-to-end scenarios against the 64-bit .exe, nothing else
The sanitizers, the release, the fuzzers and the packaging scenarios run at the lowest priority beside
the end-to-end runs and the soak, which wait on the program's timers nearly all the time, so the total
is less than the sum of the stages.
Each stage's output is kept in build/logs/STAGE.log. Ends with a table of the stages, their times and
results; exits non-zero when anything failed."
set -uo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  -h | --help) echo "$usage"; exit 0 ;;
  --quick) quick=1 ;;
  "") quick= ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

mkdir -p build/logs
stages=build/logs/stages.txt
: >"$stages"
row() { printf '%-15s %7s  %-7s %s\n' "$@" >>"$stages"; }
step() {  # step NAME COMMAND...: runs COMMAND, its output shown and kept in build/logs/NAME.log, and times it
  local name=$1 start=$SECONDS result=ok
  shift
  "$@" 2>&1 | tee "build/logs/$name.log" || result=FAILED
  row "$name" "$((SECONDS - start)) s" "$result" "$(summary "$name")"
  [ "$result" = ok ]
}
beside() {  # beside NAME COMMAND...: the step in the background at the lowest priority, its output only in its log
  set -m  # in a process group of its own, so that an interrupted run can end all of it
  (renice -n 19 -p "$BASHPID" >/dev/null && step "$@" >/dev/null 2>&1 </dev/null) &
  set +m
}
trap 'for job in $(jobs -p); do kill -- "-$job" 2>/dev/null; done' EXIT
summary() {  # the line of a stage's log that says how it went
  local log=build/logs/$1.log
  case $1 in
    host-tests | sanitizers) grep -E 'tests passed|No tests were found' "$log" | tail -n 1 ;;
    fuzz) echo "$(grep -c ': passed' "$log") of $(grep -c '^fuzz_' "$log") targets passed" ;;
    imports) echo "$(grep -c '^PASS' "$log") of 4 load on the oldest Windows, hardened" ;;
    reproducible) grep -E '^(PASS|FAIL)  two releases|^NOTE' "$log" | cut -c7- | paste -sd';' ;;
    build | release) ;;
    *) tail -n 1 "$log" ;;
  esac
}
finish() {
  wait
  row total "$SECONDS s"
  printf '\n%-15s %7s  %-7s %s\n' stage time result summary
  cat "$stages"
  ! grep -q '  FAILED ' "$stages"
  exit
}
sanitized_host_tests() {
  cmake --preset host-sanitize >/dev/null && cmake --build --preset host-sanitize -j2 && ctest --preset host-sanitize -j2
}

step build bash scripts/build.sh || finish
step host-tests ctest --preset host -j2
[ -n "$quick" ] || beside sanitizers sanitized_host_tests
[ -n "$quick" ] || beside release bash scripts/release.sh
step e2e-64 /usr/bin/python3 tests/e2e/run_e2e.py
[ -n "$quick" ] && finish

wait  # for the release
step imports /usr/bin/python3 tests/release/check_imports.py build/windows{,-i686}/Tarvik.exe build/windows{,-i686}/tarvik-cli.exe
beside fuzz bash scripts/fuzz.sh 30
beside packages /usr/bin/python3 tests/release/packages.py build/release
# Wine runs the 32-bit .exe only with its 32-bit half (the 64-bit installer runs everywhere).
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  step e2e-32 /usr/bin/python3 tests/e2e/run_e2e.py --exe build/windows-i686/Tarvik.exe
else
  row e2e-32 - skipped "this machine's kernel runs no 32-bit programs, so Wine has no 32-bit half"
fi
step soak /usr/bin/python3 tests/e2e/soak.py --minutes 2
wait  # for the packages, which read the release
# The release once more from empty build folders: the same bytes. Last,
# since it removes the builds every stage above runs.
step reproducible bash scripts/release.sh --check-reproducible
finish
