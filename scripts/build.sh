#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build/); extra arguments go to CMake. TARGETS
# (names separated by spaces) builds only those and what they need, else everything.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
read -ra targets <<<"${TARGETS:-}"
cmake --build "$build" -j "${JOBS:-$(nproc)}" ${targets[@]+--target "${targets[@]}"}
