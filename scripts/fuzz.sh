#!/usr/bin/env bash
# Builds one fuzz program if needed (build-fuzz/: clang, libFuzzer, ASan and UBSan) and runs it for
# SECONDS seconds in one process, starting from its checked-in seeds.
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   TARGET: mapping_file, raster_block, parameters or grid_file (fuzz/fuzz_TARGET.cpp)
# New inputs go to build-fuzz/corpus/TARGET (the seeds in fuzz/corpus/ are only read), crashes to
# build-fuzz/artifacts/TARGET/; the run ends with libFuzzer's final statistics.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target="$1"
seconds="$2"
shift 2
[ -f "$root/fuzz/fuzz_$target.cpp" ] || { echo "fuzz.sh: no target $target" >&2; exit 2; }
"$root/scripts/bootstrap.sh" --tests
build="${BUILD_DIR:-$root/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGEODEM_FUZZ=ON \
  -DGEODEM_BUILD_TESTS=OFF -DGEODEM_BUILD_BENCH=OFF -DGEODEM_WERROR=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "fuzz_$target"

corpus="$build/corpus/$target"
artifacts="$build/artifacts/$target/"
mkdir -p "$corpus" "$artifacts"
options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb=2048
         -artifact_prefix="$artifacts")
[ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
exec "$build/bin/fuzz_$target" "${options[@]}" "$@" "$corpus" "$root/fuzz/corpus/$target"
