#!/usr/bin/env bash
# Peak memory and time of `geodem info` on grid files of 2000 x 2000 and 8000 x 8000 cells, made by
# `geodem convert` from GeoTIFFs. Prints
#   geodem info peak memory 8000x8000 vs 2000x2000: X (ratio; flat when near 1)
# and the figures behind it. Needs BUILD_DIR (as scripts/bench.sh sets it), GDAL's tools and GNU
# time (/usr/bin/time, Debian's package "time") for the peak resident size.
set -euo pipefail
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
if [ ! -x /usr/bin/time ]; then
  echo "geodem info peak memory: skipped (needs GNU time, /usr/bin/time)"
  exit 0
fi
geodem="$build/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-info-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A registry of its own, so that the user's is left alone.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

declare -A peak
for size in 2000 8000; do
  gdal_create -q -of GTiff -outsize "$size" "$size" -ot Float32 -burn 1234.56 \
    -a_srs EPSG:32650 -a_ullr 500000 4400000 $((500000 + 5 * size)) $((4400000 - 5 * size)) \
    "$work/dem.tif"
  "$geodem" convert -q "$work/dem.tif" "$work/dem.dem" >/dev/null 2>&1
  rm -f "$work/dem.tif"
  megabytes=$(($(stat -c %s "$work/dem.dem") / 1000000))
  read -r kib seconds < <(/usr/bin/time -f '%M %e' "$geodem" info "$work/dem.dem" 2>&1 >/dev/null |
                          tail -1)
  peak[$size]=$kib
  awk -v s="$size" -v k="$kib" -v mb="$megabytes" -v t="$seconds" 'BEGIN {
    printf "geodem info peak memory %dx%d: %.1f MiB (peak resident size of the whole process, %d MB grid file)\n", s, s, k / 1024, mb
    printf "geodem info time %dx%d: %.2f s (wall-clock, header and every cell)\n", s, s, t }'
  rm -f "$work/dem.dem"
done
awk -v a="${peak[2000]}" -v b="${peak[8000]}" 'BEGIN {
  printf "geodem info peak memory 8000x8000 vs 2000x2000: %.2f (ratio; flat when near 1)\n", b / a }'
