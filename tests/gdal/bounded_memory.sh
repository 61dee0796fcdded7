#!/usr/bin/env bash
# The driver's memory whatever the source's block shape: a single-strip 6000 x 6000 DEFLATE
# GeoTIFF (one block of 144 MB) is written with at most that block plus 128 MiB at its peak, and
# a memory limit below what it needs ends in GDAL's failure, not an abort.
#   bounded_memory.sh PLUGIN_DIR
set -uo pipefail
export GDAL_DRIVER_PATH=$1
command -v prlimit >/dev/null && [ -x /usr/bin/time ] || { echo "skipped: no prlimit or /usr/bin/time"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

gdal_create -of GTiff -outsize 6000 6000 -bands 1 -ot Float32 -burn 1234.5 -a_srs EPSG:32650 \
  -a_ullr 500000 4400000 560000 4340000 -co COMPRESS=DEFLATE -co BLOCKYSIZE=6000 \
  "$work/strip.tif" >/dev/null || { echo "cannot make the source"; exit 1; }
block_kib=$((6000 * 6000 * 4 / 1024))

/usr/bin/time -o "$work/peak" -f %M gdal_translate -q -of GEODEM "$work/strip.tif" "$work/g.dem" \
  >"$work/log" 2>&1 || fail "gdal_translate: $(cat "$work/log")"
peak=$(cat "$work/peak")
echo "peak ${peak} KiB, the source's block $block_kib KiB"
[ "$peak" -le $((block_kib + 128 * 1024)) ] || fail "peak $peak KiB is over the block + 128 MiB"
rm -f "$work"/g.*

prlimit --as=$((200 * 1024 * 1024)) gdal_translate -q -of GEODEM "$work/strip.tif" "$work/g.dem" \
  >"$work/log" 2>&1
status=$?
[ "$status" = 1 ] || fail "under a 200 MB limit: exit status $status: $(cat "$work/log")"
grep -qi "cannot allocate\|out of memory" "$work/log" || fail "no memory failure said: $(cat "$work/log")"
[ ! -e "$work/g.dem" ] || fail "a grid file was left under a memory limit"
[ "$failures" = 0 ] && echo "passed" || exit 1
