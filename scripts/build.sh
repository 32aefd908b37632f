#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (Release with debug info).
#   BUILD_DIR=...        another build folder (e.g. build-asan)
#   FAS_SANITIZE=1       the AddressSanitizer + UndefinedBehaviorSanitizer build (no benchmarks:
#                        their figures mean nothing under the sanitizers)
#   BUILD_JOBS=N         parallel jobs (2 by default)
#   FAS_CCACHE=0         compile without the compiler cache (scripts/compiler-cache.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
. "$root/scripts/compiler-cache.sh"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_options[@]}")
[ "${FAS_SANITIZE:-0}" = 1 ] && options+=(-DFAS_SANITIZE=ON -DFAS_BENCHMARKS=OFF)
cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "${BUILD_JOBS:-2}"
