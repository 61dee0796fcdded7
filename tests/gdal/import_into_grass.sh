#!/bin/sh
# GRASS's r.in.gdal drops a band's scale and would import the stored integers; through the
# driver's open option HEIGHTS=METRES it imports the heights in metres. Skips (77) without GRASS.
set -eu
if ! command -v grass >/dev/null 2>&1; then
  echo "skipped: GRASS is not installed (no grass on PATH)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Heights in metres with centimetres, and one no-data cell.
cat >"$work/heights.asc" <<'GRID'
ncols 3
nrows 2
xllcorner 500000
yllcorner 4400000
cellsize 10
NODATA_value -9999
12.34 -0.05 -9999
1500.5 7 0.01
GRID
gdal_translate -q -a_srs EPSG:32650 -of GEODEM -co ZOOM=100 "$work/heights.asc" "$work/dem.dem"
grass --tmp-location EPSG:32650 --exec sh -c "
  r.in.gdal --quiet input='$work/dem.dem' output=dem gdal_doo=HEIGHTS=METRES &&
  g.region raster=dem && r.univar -g map=dem" >"$work/univar.txt"
cat "$work/univar.txt"
grep -qx 'min=-0.05' "$work/univar.txt" || { echo "min is not -0.05 m"; exit 1; }
grep -qx 'max=1500.5' "$work/univar.txt" || { echo "max is not 1500.5 m"; exit 1; }
grep -qx 'n=5' "$work/univar.txt" || { echo "the no-data cell was imported"; exit 1; }
