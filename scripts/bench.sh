#!/usr/bin/env bash
# Builds in release mode and runs every benchmark; each prints its figures as
#   name: value (what it means)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh" --tests
build="${BUILD_DIR:-$root/build-release}"
BUILD_DIR="$build" BUILD_TYPE=Release "$root/scripts/build.sh" -DGEODEM_BUILD_TESTS=OFF >/dev/null
status=0
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  "$b" || status=1
done
for s in "$root"/bench/*.sh; do
  [ -f "$s" ] || continue
  BUILD_DIR="$build" bash "$s" || status=1
done
exit $status
