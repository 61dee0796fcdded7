#!/usr/bin/env bash
# geodem check of a 4000 x 4000 grid file against geodem info of it, and check --source against the
# geodem convert that made the file, in the same run on the same files. Prints
#   geodem check vs info 4000x4000: X (ratio of wall-clock times; at most 1.5)
#   geodem check --source vs convert 4000x4000: X (ratio; at most 1.5)
# and the times behind them (the best of five runs each). Needs BUILD_DIR (as scripts/bench.sh
# sets it) and GDAL's tools.
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
"$python3_gdal" - "$work/flat.tif" "$work/dem.tif" <<'PY'
import sys
from osgeo import gdal
import numpy as np
src = gdal.Open(sys.argv[1])
dst = gdal.GetDriverByName("GTiff").CreateCopy(sys.argv[2], src)
n = src.RasterXSize
band = dst.GetRasterBand(1)
for y0 in range(0, n, 500):
    y, x = np.mgrid[y0:y0 + 500, 0:n]
    z = 800 + 600 * np.sin(x / 210.0) * np.cos(y / 170.0) + 0.37 * ((x * 7 + y * 13) % 100)
    z[(x // 400 == 3) & (y // 400 == 5)] = -9999
    band.WriteArray(z.astype(np.float32), 0, y0)
dst = None
PY

# The best of three wall-clock runs of a command, in seconds.
best() {
  local best_time=""
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    best_time=$(awk -v a="$start" -v b="$end" -v c="$best_time" 'BEGIN {
      t = b - a; if (c == "" || t < c) print t; else print c }')
  done
  echo "$best_time"
}

convert=$(best "$geodem" convert -q --overwrite "$work/dem.tif" "$work/dem.dem")
info=$(best "$geodem" info "$work/dem.dem")
check=$(best "$geodem" check -j 1 "$work/dem.dem")
source_check=$(best "$geodem" check -j 1 --source "$work/dem.tif" "$work/dem.dem")
megabytes=$(($(stat -c %s "$work/dem.dem") / 1000000))
awk -v i="$info" -v c="$check" -v v="$convert" -v s="$source_check" -v mb="$megabytes" 'BEGIN {
  printf "geodem info 4000x4000: %.2f s (best of 5, %d MB grid file)\n", i, mb
  printf "geodem check 4000x4000: %.2f s (best of 5, every check)\n", c
  printf "geodem convert 4000x4000: %.2f s (best of 5, Float32 GeoTIFF)\n", v
  printf "geodem check --source 4000x4000: %.2f s (best of 5, every cell against the GeoTIFF)\n", s
  printf "geodem check vs info 4000x4000: %.2f (ratio of wall-clock times; at most 1.5)\n", c / i
  printf "geodem check --source vs convert 4000x4000: %.2f (ratio; at most 1.5)\n", s / v }'
