#!/usr/bin/env bash
# Builds the Debian package of geodem with CPack and prints its path.
#   scripts/package.sh            release build in build-package/, package in build-package/packages/
# BUILD_DIR names another build tree (it is configured for the package when new); OUT_DIR the
# folder the .deb goes to. Install it with `sudo dpkg -i`; `sudo dpkg -r geodem` removes it again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh" --tests
build="${BUILD_DIR:-$root/build-package}"
out="${OUT_DIR:-$build/packages}"
# The build registers the module it makes; a package build keeps that inside its build tree.
export GEODEM_REGISTRY="$build/registry"
if [ ! -f "$build/CMakeCache.txt" ]; then
  BUILD_TYPE=Release BUILD_DIR="$build" "$root/scripts/build.sh" -DGEODEM_BUILD_TESTS=OFF \
    -DGEODEM_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
else
  cmake --build "$build" -j "${JOBS:-$(nproc)}" >/dev/null
fi
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
ls -t "$out"/geodem_*.deb | head -n 1
