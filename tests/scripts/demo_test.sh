#!/usr/bin/env bash
# The demo on a build tree that scripts/test.sh configured: it shows the build's progress and
# duration, compiles nothing (the two share their options), and converts its sample.
#   demo_test.sh SOURCE_DIR BUILD_DIR SANITIZED
set -euo pipefail
root="$1"
build="$2"
[ "$3" = 0 ] || { echo "SKIPPED: the demo uses the plain build"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
BUILD_DIR="$build" DEMO_OUT="$work/out" bash "$root/scripts/demo.sh" >"$work/demo.log" 2>&1 || {
  cat "$work/demo.log"; echo "FAIL: the demo failed"; exit 1; }
fail() { cat "$work/demo.log"; echo "FAIL: $*"; exit 1; }
grep -q "^== build 100%" "$work/demo.log" || fail "no build progress line"
grep -Eq "^== built in [0-9]+ s, " "$work/demo.log" || fail "no build duration"
grep -q "^== what to try next" "$work/demo.log" || fail "no next steps"
[ -s "$work/out/sample.dem" ] || fail "no sample grid file"
grep -q ", 0 files compiled$" "$work/demo.log" || fail "the demo's build compiled again"
echo "the demo showed its build and compiled nothing"
