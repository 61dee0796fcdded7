#!/usr/bin/env bash
# Edge matching of a set of 100 sheets of 1200 x 1200 cells (10 x 10 sheets at 1:50 000, cut with a
# buffer of 2 cells by geodem sheets from one GeoTIFF) against geodem check of the same files
# without --edges. Prints
#   geodem check --edges vs check, 100 sheets 1200x1200: X (ratio of wall-clock times; at most 1.3)
#   geodem check --edges peak memory, 100 sheets: X MiB (at most 100)
#   geodem check --edges peak memory 100 vs 25 sheets: X (ratio; flat when near 1)
# and the times behind them (the best of five runs each, the two in turns). Needs BUILD_DIR (as
# scripts/bench.sh sets it), GDAL's tools, Debian's python3 with GDAL's bindings and GNU time.
set -euo pipefail
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
if [ ! -x /usr/bin/time ]; then
  echo "geodem check --edges: skipped (needs GNU time, /usr/bin/time)"
  exit 0
fi
geodem="$build/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-edges-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A registry of its own, so that the user's is left alone.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1
source "$(dirname "$0")/support/timing.sh"

# 114.0-116.5 E, 38.333-40.0 N: a 1:50 000 sheet (15' x 10') is 1200 x 1200 cells of 0.75" x 0.5".
gdal_create -q -of GTiff -outsize 12000 12000 -ot Float32 -a_nodata -9999 -a_srs EPSG:4490 \
  -a_ullr 114.0 40.0 116.5 38.333333333333333 "$work/flat.tif"
/usr/bin/python3 "$(dirname "$0")/support/wavy_heights.py" "$work/flat.tif" "$work/dem.tif"
rm -f "$work/flat.tif"
"$geodem" sheets --scale 50000 --buffer 2 -q --out-dir "$work/sheets" "$work/dem.tif" >/dev/null
rm -f "$work/dem.tif"
mapfile -t files < <(ls "$work"/sheets/J50E0*.dem | sort)
count=${#files[@]}
megabytes=$(($(cat "${files[@]}" | wc -c) / 1000000))
# The 5 x 5 sheets of the north-west corner.
mapfile -t corner < <(printf '%s\n' "${files[@]}" | grep -E 'J50E00[1-5]00[1-5]\.dem$')

check=1e9 edges=1e9
for _ in 1 2 3 4 5; do
  check=$(min "$check" "$(timed "$geodem" check -j 2 "${files[@]}")")
  edges=$(min "$edges" "$(timed "$geodem" check -j 2 --edges "${files[@]}")")
done
peak() { /usr/bin/time -f '%M' "$geodem" check -j 2 --edges "$@" 2>&1 >/dev/null | tail -1; }
all=$(peak "${files[@]}")
quarter=$(peak "${corner[@]}")
awk -v c="$check" -v e="$edges" -v n="$count" -v a="$all" -v q="$quarter" -v m="${#corner[@]}" \
  -v mb="$megabytes" 'BEGIN {
  printf "geodem check, %d sheets 1200x1200: %.2f s (best of 5, -j 2, %d MB of grid files)\n", n, c, mb
  printf "geodem check --edges, %d sheets 1200x1200: %.2f s (best of 5, -j 2)\n", n, e
  printf "geodem check --edges vs check, %d sheets 1200x1200: %.2f (ratio of wall-clock times; at most 1.3)\n", n, e / c
  printf "geodem check --edges peak memory, %d sheets: %.1f MiB (at most 100)\n", n, a / 1024
  printf "geodem check --edges peak memory, %d sheets: %.1f MiB\n", m, q / 1024
  printf "geodem check --edges peak memory %d vs %d sheets: %.2f (ratio; flat when near 1)\n", n, m, a / q }'
