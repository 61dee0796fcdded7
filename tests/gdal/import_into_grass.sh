#!/bin/sh
# GRASS's r.in.gdal drops a band's scale and would import the stored integers; through the
# driver's open option HEIGHTS=METRES it imports the heights in metres, as Float32. GRASS's
# r.out.gdal writes the same grid file through the driver as geodem convert does. A grid written
# with --nodata -9999 imports with its no-data cell null, no option passed.
# Usage: import_into_grass.sh GEODEM. Skips (77) without GRASS.
set -eu
geodem=$1
if ! command -v grass >/dev/null 2>&1; then
  echo "skipped: GRASS is not installed (no grass on PATH)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# geodem finds this build's writer in a registry of the test's own.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register -q
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
"$geodem" convert -q "$work/dem.dem" "$work/converted.dem"
"$geodem" convert -q --nodata -9999 --a_srs EPSG:32650 --prj "$work/heights.asc" "$work/other.dem"
grass --tmp-location EPSG:32650 --exec sh -c "
  r.in.gdal --quiet input='$work/dem.dem' output=dem gdal_doo=HEIGHTS=METRES &&
  g.region raster=dem && r.univar -g map=dem &&
  r.out.gdal --quiet input=dem output='$work/grass.dem' format=GEODEM" >"$work/univar.txt"
cat "$work/univar.txt"
grass --tmp-location EPSG:32650 --exec sh -c "
  r.in.gdal --quiet input='$work/other.dem' output=other &&
  g.region raster=other && r.univar -g map=other" >"$work/other.txt"
grep -qx 'null_cells=1' "$work/other.txt" || { echo "GRASS misses the no-data value -9999"; exit 1; }
# A Float32 height is the metres to within its precision, some 2^-24 of the value.
near() {
  awk -v key="$1" -v want="$2" -F= '$1 == key {
      d = $2 - want; if (d < 0) d = -d; w = want < 0 ? -want : want
      found = 1; if (d > w * 1.2e-7) exit 1 }
    END { if (!found) exit 1 }' "$work/univar.txt"
}
near min -0.05 || { echo "min is not -0.05 m"; exit 1; }
near max 1500.5 || { echo "max is not 1500.5 m"; exit 1; }
grep -qx 'n=5' "$work/univar.txt" || { echo "the no-data cell was imported"; exit 1; }
cmp "$work/grass.dem" "$work/converted.dem" || {
  echo "r.out.gdal's grid file differs from geodem convert's"
  diff "$work/grass.dem" "$work/converted.dem" | head -20
  exit 1
}
