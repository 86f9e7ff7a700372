#!/usr/bin/env bash
# The run command: builds Tarvik.exe and the simulator, then runs the program under Wine with a
# simulated sensor bus as COM3 (or --device PATH as COM3). With no DISPLAY it runs a short scripted session under Xvfb, prints the
# information pane after each step and the path of a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

# Help needs nothing built.
case "${1:-}" in
  -h | --help) exec /usr/bin/python3 scripts/run.py --help ;;
esac
bash scripts/build.sh tarvik-sim
exec /usr/bin/python3 scripts/run.py "$@"
