#!/usr/bin/env bash
# Runs the mutants of tests/mutants.txt against the tests (scripts/mutants.py --help for the options).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
exec /usr/bin/python3 scripts/mutants.py "$@"
