#!/usr/bin/env bash
# geodem check --source of a sheet set against the DEM it was cut from: the peak memory of checking
# 100 sheets of 1:10 000 against that of checking 25 of them, the same DEM, the same -j. Prints
#   geodem check --source 100 vs 25 sheets: X (ratio of peak resident memory; at most 1.2)
# and the figures behind it. Needs BUILD_DIR (as scripts/bench.sh sets it), GDAL's tools, GNU time
# and Debian's python3 with GDAL's bindings.
set -euo pipefail
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
geodem="$build/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-check-sheets-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

# 1" cells (225 x 150 a sheet of 3'45" x 2'30"), ten sheets by ten from a sheet corner of J50.
cols=2250 rows=1500
gdal_create -q -of GTiff -outsize "$cols" "$rows" -ot Float32 -a_nodata -9999 -a_srs EPSG:4490 \
  -a_ullr 116.25 40.0 116.875 39.58333333333333 "$work/flat.tif"
/usr/bin/python3 "$(dirname "$0")/support/wavy_heights.py" "$work/flat.tif" "$work/dem.tif"
"$geodem" sheets -q --scale 10000 --buffer 2 --out-dir "$work/sheets" "$work/dem.tif"

# Peak resident memory in KiB of a check of these sheets, the best of three.
peak() {
  local best="" kib
  for _ in 1 2 3; do
    /usr/bin/time -f '%M' -o "$work/rss" "$geodem" check -q -j 2 --source "$work/dem.tif" "$@" \
      >/dev/null 2>&1 || { echo "the check failed" >&2; exit 1; }
    kib=$(cat "$work/rss")
    best=$(awk -v a="$best" -v b="$kib" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}
mapfile -t all < <(ls "$work"/sheets/*.dem | sort)
[ "${#all[@]}" -eq 100 ] || { echo "expected 100 sheets, cut ${#all[@]}" >&2; exit 1; }
quarter=$(peak "${all[@]:0:25}")
whole=$(peak "${all[@]}")
awk -v q="$quarter" -v w="$whole" 'BEGIN {
  printf "geodem check --source 25 sheets: %.1f MiB peak (best of 3, -j 2)\n", q / 1024
  printf "geodem check --source 100 sheets: %.1f MiB peak (best of 3, -j 2)\n", w / 1024
  printf "geodem check --source 100 vs 25 sheets: %.2f (ratio of peak resident memory; at most 1.2)\n", w / q }'
