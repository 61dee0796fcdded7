#!/usr/bin/env bash
# Writes a deterministic sample DEM as a Float32 GeoTIFF (UTM zone 50N, 25 m cells): two hills,
# a ridge pattern and a slope, with a small lake of no-data cells. Computed here, nothing fetched.
#   scripts/sample_dem.sh OUT.tif [WIDTH [HEIGHT]]
set -euo pipefail
out="$1"
width="${2:-1200}"
height="${3:-900}"
ascii="$(mktemp --suffix=.asc)"
trap 'rm -f "$ascii" "${ascii%.asc}.prj"' EXIT
LC_ALL=C awk -v W="$width" -v H="$height" 'BEGIN {
  printf "ncols %d\nnrows %d\nxllcorner 500000\nyllcorner %d\ncellsize 25\nNODATA_value -9999\n",
         W, H, 4000000 - 25 * H
  for (r = 0; r < H; r++) {
    for (c = 0; c < W; c++) {
      x = c / W; y = r / H
      z = 1200 + 800 * exp(-((x - 0.3)^2 + (y - 0.4)^2) / 0.02) \
               + 500 * exp(-((x - 0.7)^2 + (y - 0.6)^2) / 0.05) \
               + 150 * sin(18.85 * x) * cos(12.57 * y) - 300 * y
      if ((x - 0.75)^2 + (y - 0.25)^2 < 0.004) z = -9999
      printf "%.2f ", z
    }
    printf "\n"
  }
}' > "$ascii"
gdal_translate -q -of GTiff -ot Float32 -a_srs EPSG:32650 "$ascii" "$out"
