#!/usr/bin/env bash
# The test command: builds both presets, runs the host tests (ctest) and the end-to-end scenarios
# (Tarvik.exe under Wine and Xvfb). Ends with both summaries; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh

mkdir -p build/logs
host_status=0
ctest --preset host 2>&1 | tee build/logs/ctest.log || host_status=$?

e2e_status=0
/usr/bin/python3 tests/e2e/run_e2e.py 2>&1 | tee build/logs/e2e.log || e2e_status=$?

echo
echo "host tests: $(grep -E 'tests passed|No tests were found' build/logs/ctest.log | tail -n 1)"
echo "end-to-end: $(tail -n 1 build/logs/e2e.log)"
[ "$host_status" -eq 0 ] && [ "$e2e_status" -eq 0 ]
