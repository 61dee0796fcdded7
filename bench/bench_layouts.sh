#!/usr/bin/env bash
# The same 6000 x 6000 heights stored five ways, converted by geodem and by the GDAL driver
# (gdal_translate -of GEODEM) to GRD_2007:
#   a  a tiled GeoTIFF (256 x 256)            b  a GeoTIFF of one DEFLATE strip
#   c  JPEG 2000, lossless, 1024 x 1024 tiles (OpenJPEG takes integers of at most 31 bits: the
#      heights in whole metres, Int16, whose grid file has as many digits as (a)'s)
#   d  NetCDF-4 in 1000 x 1000 chunks         e  a VRT over 400 GeoTIFF tiles of 300 x 300
# For each: its time against (a)'s beyond the extra cost of decoding the format, at most 1.5, for
# geodem and the driver (that cost is gdal_translate -of MEM -ot Float32 of the layout less that
# of (a), in seconds: every cell decoded into memory as Float32, nothing written. The same copy
# into a GeoTIFF, printed beside it, is no measure of decoding: GDAL writes that GeoTIFF faster
# after (c)'s decoder than after (a)'s reads, which would credit (c) with less decoding than it
# does); and the
# peak memory of each, at most what decoding each block once holds (one row of the
# source's blocks, and a GeoTIFF's largest stored block, which libtiff reads whole) plus 160 MiB,
# printed beside GDAL's own peak reading the source (gdalinfo -checksum) for reference. Times
# are medians of three rounds over all layouts. Needs BUILD_DIR (as scripts/bench.sh sets it),
# GDAL's tools, Debian's python3 with GDAL and numpy, and GNU time. Prints
#   layout X: geodem vs tiled Y, decode cost Z, peak N MiB
# with the driver's line below it, and exits non-zero when a limit is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:?BUILD_DIR names the build folder}"
geodem="$build/bin/geodem"
python=/usr/bin/python3
if [ ! -x /usr/bin/time ] || ! "$python" -c 'import numpy; from osgeo import gdal' 2>/dev/null; then
  echo "layouts: skipped (needs GNU time and /usr/bin/python3 with GDAL and numpy)"
  exit 0
fi
export GDAL_DRIVER_PATH="$build/lib/gdalplugins"
work="$(mktemp -d "${TMPDIR:-/tmp}/bench-layouts-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1
. "$root/bench/support/timing.sh"
support="$root/bench/support"

"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
gdal_translate -q -ot Float32 -r bilinear -outsize 6000 6000 -co TILED=YES "$work/seed.tif" \
  "$work/a.tif"
gdal_translate -q -co COMPRESS=DEFLATE -co BLOCKYSIZE=6000 "$work/a.tif" "$work/b.tif"
gdal_translate -q -ot Int16 "$work/a.tif" "$work/c16.tif"
gdal_translate -q -of JP2OpenJPEG -co REVERSIBLE=YES -co QUALITY=100 -co BLOCKXSIZE=1024 \
  -co BLOCKYSIZE=1024 "$work/c16.tif" "$work/c.jp2"
rm -f "$work/c16.tif"
"$python" "$support/netcdf_chunked.py" "$work/a.tif" "$work/d.nc" 1000
"$python" "$support/vrt_of_tiles.py" "$work/a.tif" "$work/e.vrt" 300
declare -A source=([a]=a.tif [b]=b.tif [c]=c.jp2 [d]=d.nc [e]=e.vrt)
layouts=(a b c d e)

# Runs a command, prints "seconds peak-KiB".
run() {
  sync
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" \
    || { cat "$work/stderr" >&2; return 1; }
  cat "$work/time"
}
declare -A t_geodem t_driver t_decode t_gtiff peak_geodem peak_driver
for _ in 1 2 3; do
  for x in "${layouts[@]}"; do
    src="$work/${source[$x]}"
    read -r s k < <(run "$geodem" convert -q --format-version GRD_2007 "$src" "$work/out.dem")
    t_geodem[$x]+="$s " peak_geodem[$x]=$(( ${peak_geodem[$x]:-0} > k ? ${peak_geodem[$x]:-0} : k ))
    rm -f "$work/out.dem"
    read -r s k < <(run gdal_translate -q -of GEODEM -co VERSION=GRD_2007 "$src" "$work/out.dem")
    t_driver[$x]+="$s " peak_driver[$x]=$(( ${peak_driver[$x]:-0} > k ? ${peak_driver[$x]:-0} : k ))
    rm -f "$work"/out.*
    read -r s _ < <(run gdal_translate -q -of MEM -ot Float32 "$src" in-memory)
    t_decode[$x]+="$s "
    read -r s _ < <(run gdal_translate -q -of GTiff -ot Float32 "$src" "$work/out.tif")
    t_gtiff[$x]+="$s "
    rm -f "$work/out.tif"
  done
done

status=0
for x in "${layouts[@]}"; do
  row_mib="$(calc "$("$python" "$support/block_row_bytes.py" "$work/${source[$x]}") / 1048576")"
  limit="$(calc "$row_mib + 160")"
  read -r _ k < <(run gdalinfo -checksum "$work/${source[$x]}")
  gdal_mib="$(calc "$k / 1024")"
  # shellcheck disable=SC2086
  decode="$(calc "$(median ${t_decode[$x]}) - $(median ${t_decode[a]})")"
  # shellcheck disable=SC2086
  gtiff="$(calc "$(median ${t_gtiff[$x]}) - $(median ${t_gtiff[a]})")"
  for tool in geodem driver; do
    declare -n times="t_$tool" peaks="peak_$tool"
    # shellcheck disable=SC2086
    t="$(median ${times[$x]})" t_a="$(median ${times[a]})"
    ratio="$(calc "($t - $decode) / $t_a")"
    mib="$(calc "${peaks[$x]} / 1024")"
    printf 'layout %s: %s vs tiled %.2f, decode cost %.2f s, peak %.0f MiB (%.2f s against %.2f s; at most 1.5 and %.0f MiB; into a GeoTIFF %.2f s more than (a); gdalinfo -checksum alone %.0f MiB)\n' \
      "$x" "$tool" "$ratio" "$decode" "$mib" "$t" "$t_a" "$limit" "$gtiff" "$gdal_mib"
    (( $(calc "$ratio <= 1.5") )) || { echo "bench_layouts: $tool on layout $x above 1.5 times (a)" >&2; status=1; }
    (( $(calc "$mib <= $limit") )) || { echo "bench_layouts: $tool on layout $x above its memory bound" >&2; status=1; }
    unset -n times peaks
  done
done
exit $status
