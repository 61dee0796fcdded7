#!/usr/bin/env bash
# Where the build registers the writer module it has just built: a plain build in the user's
# registry (so that the demo runs), a test build (sanitized, fuzz) in a registry inside its own build
# tree, never the user's. The user's registry here is a temporary one.
#   build_registration_test.sh BUILD_DIR SANITIZED(0|1)
set -euo pipefail
build="$1"
sanitized="$2"
work="$(mktemp -d /tmp/geodem-registration-XXXXXX)"
trap 'rm -rf "$work"' EXIT
user="$work/data/geodem/registry"
env -u GEODEM_REGISTRY HOME="$work/home" XDG_DATA_HOME="$work/data" \
  cmake --build "$build" --target geodem_register >/dev/null
if [ "$sanitized" = 1 ]; then
  [ ! -e "$user" ] || { echo "FAIL: a test build registered in the user's registry $user"; exit 1; }
  grep -q HVXOGEODEMWriter "$build/registry" || { echo "FAIL: nothing registered in $build/registry"; exit 1; }
  echo "the test build registered in $build/registry only"
else
  grep -q HVXOGEODEMWriter "$user" || { echo "FAIL: the plain build did not register in $user"; exit 1; }
  echo "the plain build registered in the user's registry"
fi
