#!/usr/bin/env bash
# Prints tarvik-sim's measured reply timing as a master on the pseudo-terminal sees it.
# usage: bench/sim_timing.sh [BUILD_DIR [ROUNDS [TURNAROUND_MS]]]   (BUILD_DIR: a host build, default build/host)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/host}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target sim_timing_bench tarvik-sim >/dev/null
"$build/bench/sim_timing_bench" "${2:-50}" "${3:-3}" "$build/tools/sim/tarvik-sim"
