#!/usr/bin/env bash
# geodem check of a 4000 x 4000 grid file against geodem info of it, and check --source against the
# geodem convert that made the file, in the same run on the same files. Prints
#   geodem check vs info 4000x4000: X (ratio of wall-clock times; at most 1.5)
#   geodem check --source vs convert 4000x4000: X (ratio; at most 1.5)
# and the times behind them (the best of seven runs each, the two of a pair in turns). Needs
# BUILD_DIR (as scripts/bench.sh sets it), GDAL's tools and Debian's python3 with GDAL's bindings.
set -euo pipefail
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
geodem="$build/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A registry of its own, so that the user's is left alone.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

# Heights of hundreds of metres that vary from cell to cell, with no-data cells: a real DEM's text.
size=4000
gdal_create -q -of GTiff -outsize "$size" "$size" -ot Float32 -a_nodata -9999 \
  -a_srs EPSG:32650 -a_ullr 500000 4400000 $((500000 + 5 * size)) $((4400000 - 5 * size)) \
  "$work/flat.tif"
python3_gdal=/usr/bin/python3
"$python3_gdal" "$(dirname "$0")/support/wavy_heights.py" "$work/flat.tif" "$work/dem.tif"

# Wall-clock seconds of one run of a command.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# The two commands of a pair run in turns, seven times, and each keeps its best: a machine shared
# with other work slows both alike instead of whichever happened to run during a busy spell.
convert="" info="" check="" source_check=""
for _ in 1 2 3 4 5 6 7; do
  convert=$(min "$convert" "$(seconds "$geodem" convert -q --overwrite "$work/dem.tif" "$work/dem.dem")")
  source_check=$(min "$source_check" "$(seconds "$geodem" check -j 1 --source "$work/dem.tif" "$work/dem.dem")")
  info=$(min "$info" "$(seconds "$geodem" info "$work/dem.dem")")
  check=$(min "$check" "$(seconds "$geodem" check -j 1 "$work/dem.dem")")
done
megabytes=$(($(stat -c %s "$work/dem.dem") / 1000000))
awk -v i="$info" -v c="$check" -v v="$convert" -v s="$source_check" -v mb="$megabytes" 'BEGIN {
  printf "geodem info 4000x4000: %.2f s (best of 7, %d MB grid file)\n", i, mb
  printf "geodem check 4000x4000: %.2f s (best of 7, every check)\n", c
  printf "geodem convert 4000x4000: %.2f s (best of 7, Float32 GeoTIFF)\n", v
  printf "geodem check --source 4000x4000: %.2f s (best of 7, every cell against the GeoTIFF)\n", s
  printf "geodem check vs info 4000x4000: %.2f (ratio of wall-clock times; at most 1.5)\n", c / i
  printf "geodem check --source vs convert 4000x4000: %.2f (ratio; at most 1.5)\n", s / v }'
