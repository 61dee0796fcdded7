#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
#   scripts/test.sh              the plain suite (build/)
#   scripts/test.sh --sanitize   the same under AddressSanitizer and UBSan (build-sanitize/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh" --tests
extra=(-DGEODEM_WERROR=ON)
build="$root/build"
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-sanitize"
  extra+=(-DGEODEM_SANITIZE=ON -DGEODEM_BUILD_BENCH=OFF)
  # Leaks count as failures too; the runtime's own options can still be added by the caller.
  export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
BUILD_DIR="$build" "$root/scripts/build.sh" "${extra[@]}"
cd "$build"
ctest --output-on-failure -j "${JOBS:-$(nproc)}"
