#!/usr/bin/env bash
# Installs what is missing and builds both presets: Tarvik.exe with the UI driver (windows), and the
# host targets named as arguments (all of them when none is named).
set -euo pipefail
cd "$(dirname "$0")/.."
# One build of the tree at a time: the test command makes the release beside the end-to-end run, whose
# run-command scenario builds too, and two CMake runs in one build directory would trip over each other.
mkdir -p build
exec 9>build/build.lock
flock 9

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
cmake --preset host >/dev/null
cmake --build --preset host -j2 ${1:+--target "$@"}
