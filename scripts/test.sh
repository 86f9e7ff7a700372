#!/usr/bin/env bash
# The test command: builds both presets and the release (twice, to check it is reproducible), runs the host
# tests (ctest), the same host tests under ASan and UBSan, every fuzz target for 30 s, the check of both .exe's import tables, the end-to-end
# scenarios (Tarvik.exe under Wine and Xvfb) against the 64-bit and the 32-bit .exe, a 2-minute soak and
# the packaging scenarios. Ends with the summaries; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."

mkdir -p build/logs
status=0
bash scripts/build.sh
# The release twice, the second time from empty build folders: the same bytes, the guide's pictures unchanged.
bash scripts/release.sh --check-reproducible 2>&1 | tee build/logs/release.log || status=1
cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j2

ctest --preset host 2>&1 | tee build/logs/ctest.log || status=1
ctest --preset host-sanitize 2>&1 | tee build/logs/sanitize.log || status=1
bash scripts/fuzz.sh 30 2>&1 | tee build/logs/fuzz.log || status=1
/usr/bin/python3 tests/release/check_imports.py build/windows{,-i686}/Tarvik.exe build/windows{,-i686}/tarvik-cli.exe \
  2>&1 | tee build/logs/imports.log || status=1
/usr/bin/python3 tests/e2e/run_e2e.py 2>&1 | tee build/logs/e2e.log || status=1
# Wine runs the 32-bit .exe and installer only with its 32-bit half; the 64-bit installer runs everywhere.
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  /usr/bin/python3 tests/e2e/run_e2e.py --exe build/windows-i686/Tarvik.exe 2>&1 | tee build/logs/e2e-32.log || status=1
else
  echo "32-bit end-to-end run skipped: this machine's kernel runs no 32-bit programs, so Wine has no 32-bit half" \
    | tee build/logs/e2e-32.log
fi
/usr/bin/python3 tests/release/packages.py build/release 2>&1 | tee build/logs/packages.log || status=1
/usr/bin/python3 tests/e2e/soak.py --minutes 2 2>&1 | tee build/logs/soak.log || status=1

echo
echo "release: $(grep -c '^PASS' build/logs/release.log) of 2 reproducibility checks passed"
echo "host tests: $(grep -E 'tests passed|No tests were found' build/logs/ctest.log | tail -n 1)"
echo "sanitizers: $(grep -E 'tests passed|No tests were found' build/logs/sanitize.log | tail -n 1)"
echo "fuzz: $(grep -c ': passed' build/logs/fuzz.log) of $(grep -c '^fuzz_' build/logs/fuzz.log) targets passed"
echo "import tables: $(grep -c '^PASS' build/logs/imports.log) of 4 load on the oldest Windows, hardened"
echo "end-to-end, 64-bit: $(tail -n 1 build/logs/e2e.log)"
echo "end-to-end, 32-bit: $(tail -n 1 build/logs/e2e-32.log)"
echo "soak: $(tail -n 1 build/logs/soak.log)"
echo "packages: $(tail -n 1 build/logs/packages.log)"
exit "$status"
