#!/usr/bin/env bash
# The GDAL driver's CreateCopy (gdal_translate -of GEODEM) on a 4000 x 4000 Float32 GeoTIFF against
#  - GDAL's own text grid, gdal_translate -of AAIGrid -ot Int32 of the same file (at most 0.2), and
#  - the floor: reading the source file once plus writing the grid file's bytes to disk in 4 MiB
#    writes, as the driver flushes the grid file before it takes its name (at most 2.0; the ratio
#    to the same bytes left in the page cache is printed for information);
# and its peak memory on 2000 x 2000 and 8000 x 8000 cells (flat: a ratio near 1). Each time is
# the best of three runs, every output removed outside the timing. Needs BUILD_DIR (as scripts/bench.sh sets it), GDAL's tools and GNU time.
# Prints "name: value (meaning)" lines and exits non-zero when a limit is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
if [ ! -x /usr/bin/time ]; then
  echo "driver vs AAIGrid: skipped (needs GNU time, /usr/bin/time)"
  exit 0
fi
export GDAL_DRIVER_PATH="$build/lib/gdalplugins"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-driver-XXXXXX")"
trap 'rm -rf "$work"' EXIT

. "$root/bench/support/timing.sh"
# The best wall seconds of three runs of a command, whose output ($work/out.* or the floor's file)
# is removed after each run: writing over an earlier grid file would time its removal too.
best_of_three() {
  local best="" t
  for _ in 1 2 3; do
    t="$(timed "$@")"
    rm -f "$work"/out.* "$work/floor.out"
    best="$(min "${best:-$t}" "$t")"
  done
  echo "$best"
}

# Realistic heights with varied decimals: the sample surface, resampled to 4000 x 4000.
"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
gdal_translate -q -ot Float32 -r bilinear -outsize 4000 4000 -co TILED=NO "$work/seed.tif" \
  "$work/dem.tif"
gdal_translate -q -of GEODEM "$work/dem.tif" "$work/sized.dem"
t_driver="$(best_of_three gdal_translate -q -of GEODEM "$work/dem.tif" "$work/out.dem")"
t_aaigrid="$(best_of_three gdal_translate -q -of AAIGrid -ot Int32 "$work/dem.tif" "$work/out.asc")"
t_floor="$(best_of_three floor_of durable "$work/dem.tif" "$work/sized.dem")"
t_cached="$(best_of_three floor_of cached "$work/dem.tif" "$work/sized.dem")"
# What any gdal_translate of this source costs before a cell is read: starting, opening the
# GeoTIFF, its coordinate system, a small output.
t_fixed="$(best_of_three gdal_translate -q -of VRT "$work/dem.tif" "$work/out.vrt")"
megabytes=$(($(stat -c %s "$work/sized.dem") / 1000000))
rm -f "$work"/dem.* "$work"/sized.*

declare -A peak
for size in 2000 8000; do
  gdal_create -q -of GTiff -outsize "$size" "$size" -ot Float32 -burn 1234.56 \
    -a_srs EPSG:32650 -a_ullr 500000 4400000 $((500000 + 5 * size)) $((4400000 - 5 * size)) \
    "$work/flat.tif"
  peak[$size]="$(/usr/bin/time -f %M gdal_translate -q -of GEODEM "$work/flat.tif" \
                   "$work/flat.dem" 2>&1 >/dev/null | tail -1)"
  rm -f "$work"/flat.*
done

vs_aaigrid="$(calc "$t_driver / $t_aaigrid")"
vs_floor="$(calc "$t_driver / $t_floor")"
vs_cached="$(calc "$t_driver / $t_cached")"
beyond_fixed="$(calc "($t_driver - $t_fixed) / $t_floor")"
peak_ratio="$(calc "${peak[8000]} / ${peak[2000]}")"
printf 'driver 4000x4000 seconds: %.2f (gdal_translate -of GEODEM, Float32 GeoTIFF, %d MB grid)\n' \
  "$t_driver" "$megabytes"
printf 'AAIGrid 4000x4000 seconds: %.2f (gdal_translate -of AAIGrid -ot Int32, same raster)\n' \
  "$t_aaigrid"
printf 'floor 4000x4000 seconds: %.2f (reading the source once, writing the grid bytes to disk in 4 MiB)\n' \
  "$t_floor"
printf 'cached floor 4000x4000 seconds: %.2f (the same bytes left in the page cache)\n' "$t_cached"
printf 'gdal_translate fixed cost seconds: %.2f (gdal_translate -of VRT of the same file)\n' \
  "$t_fixed"
printf 'driver vs AAIGrid: %.3f (time ratio, at most 0.2)\n' "$vs_aaigrid"
printf 'driver vs floor: %.3f (time ratio, at most 2.0)\n' "$vs_floor"
printf 'driver vs cached floor: %.3f (time ratio, for information)\n' "$vs_cached"
printf 'driver beyond the fixed cost vs floor: %.3f (time ratio, no limit: the driver'"'"'s time less that of gdal_translate -of VRT, against the floor)\n' \
  "$beyond_fixed"
awk -v a="${peak[2000]}" -v b="${peak[8000]}" 'BEGIN {
  printf "driver peak memory 2000x2000: %.1f MiB (peak resident size of gdal_translate)\n", a / 1024
  printf "driver peak memory 8000x8000: %.1f MiB\n", b / 1024 }'
printf 'driver peak memory 8000x8000 vs 2000x2000: %.2f (ratio; flat when near 1, at most 1.2)\n' \
  "$peak_ratio"

status=0
(( $(calc "$vs_aaigrid <= 0.2") )) || { echo "bench_driver: above 0.2 of AAIGrid's time" >&2; status=1; }
(( $(calc "$vs_floor <= 2.0") )) || { echo "bench_driver: above twice the floor" >&2; status=1; }
(( $(calc "$peak_ratio <= 1.2") )) || { echo "bench_driver: peak memory grows with the raster" >&2; status=1; }
exit $status
