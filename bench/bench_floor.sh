#!/usr/bin/env bash
# geodem convert and the GDAL driver (gdal_translate -of GEODEM) of a 4000 x 4000 tiled Float32
# GeoTIFF to GRD_2007, each against the floor: reading the source file once and writing the grid
# file's bytes to disk. Both tools flush the grid file before it takes its name, so the floor
# flushes its bytes too; the ratios to a floor that leaves them in the page cache are printed
# beside, for information. Each ratio is the median of five paired runs (floors, geodem, driver
# in turn, so that a load on the machine weighs on all alike), with every output removed outside
# the timing: geodem at most 2.2, the driver at most 1.5. Needs BUILD_DIR (as scripts/bench.sh
# sets it) and GDAL's tools. Prints "name: value (meaning)" lines and exits non-zero when a limit
# is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
geodem="$build/bin/geodem"
export GDAL_DRIVER_PATH="$build/lib/gdalplugins"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-floor-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A registry of its own with this build's writer, whatever the user's registry names.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1
. "$root/bench/support/timing.sh"

"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
gdal_translate -q -ot Float32 -r bilinear -outsize 4000 4000 -co TILED=YES "$work/seed.tif" \
  "$work/dem.tif"
"$geodem" convert -q --format-version GRD_2007 "$work/dem.tif" "$work/sized.dem"

g_ratios=() d_ratios=() gc_ratios=() dc_ratios=() g_times=() d_times=() f_times=() c_times=()
for _ in 1 2 3 4 5; do
  c="$(timed floor_of cached "$work/dem.tif" "$work/sized.dem")"
  rm -f "$work/floor.out"
  f="$(timed floor_of durable "$work/dem.tif" "$work/sized.dem")"
  rm -f "$work/floor.out"
  g="$(timed "$geodem" convert -q --format-version GRD_2007 "$work/dem.tif" "$work/g.dem")"
  rm -f "$work/g.dem" "$work/g.prj"
  d="$(timed gdal_translate -q -of GEODEM -co VERSION=GRD_2007 "$work/dem.tif" "$work/d.dem")"
  rm -f "$work/d.dem" "$work/d.prj"
  f_times+=("$f") c_times+=("$c") g_times+=("$g") d_times+=("$d")
  g_ratios+=("$(calc "$g / $f")") d_ratios+=("$(calc "$d / $f")")
  gc_ratios+=("$(calc "$g / $c")") dc_ratios+=("$(calc "$d / $c")")
done
vs_g="$(median "${g_ratios[@]}")"
vs_d="$(median "${d_ratios[@]}")"
printf 'floor 4000x4000 tiled seconds: %.3f (median: reading the source once, writing the grid bytes to disk)\n' \
  "$(median "${f_times[@]}")"
printf 'cached floor 4000x4000 tiled seconds: %.3f (median: the same bytes left in the page cache)\n' \
  "$(median "${c_times[@]}")"
printf 'geodem 4000x4000 tiled seconds: %.3f (median of geodem convert to GRD_2007)\n' \
  "$(median "${g_times[@]}")"
printf 'driver 4000x4000 tiled seconds: %.3f (median of gdal_translate -of GEODEM)\n' \
  "$(median "${d_times[@]}")"
printf 'geodem vs floor: %.2f (median of five paired ratios, at most 2.2)\n' "$vs_g"
printf 'driver vs floor: %.2f (median of five paired ratios, at most 1.5)\n' "$vs_d"
printf 'geodem vs cached floor: %.2f (median of five paired ratios, for information)\n' \
  "$(median "${gc_ratios[@]}")"
printf 'driver vs cached floor: %.2f (median of five paired ratios, for information)\n' \
  "$(median "${dc_ratios[@]}")"

status=0
(( $(calc "$vs_g <= 2.2") )) || { echo "bench_floor: geodem above 2.2 times the floor" >&2; status=1; }
(( $(calc "$vs_d <= 1.5") )) || { echo "bench_floor: the driver above 1.5 times the floor" >&2; status=1; }
exit $status
