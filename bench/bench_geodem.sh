#!/usr/bin/env bash
# geodem against the tool a user would otherwise reach for, and its memory on a large raster:
#  - a 4000 x 4000 Float32 GeoTIFF to GRD_2007 with geodem, and to an ASCII grid of integers with
#    gdal_translate, in the same run: geodem may take at most as long;
#  - peak resident memory of geodem on 16000 x 16000 Float32: at most 256 MiB, and at most 1.2
#    times its peak on 16000 columns of 4000 rows. geodem holds a row of the writer's blocks and of
#    the source's across the raster, so memory follows the width; flat means it does not grow
#    with the rows. Its peak on 4000 x 4000 is printed beside.
# Needs BUILD_DIR (a build with the registered writer). Prints "name: value (meaning)" lines and
# exits non-zero when a limit is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
geodem="${BUILD_DIR:?BUILD_DIR names the build}/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/geodem-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Realistic heights with varied decimals: the sample surface, resampled to the size wanted.
"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
make_dem() {
  gdal_translate -q -ot Float32 -r bilinear -outsize "$1" "$2" -co TILED=NO "$work/seed.tif" "$3"
}
make_dem 4000 4000 "$work/dem4000.tif"
make_dem 16000 4000 "$work/dem16000x4000.tif"
make_dem 16000 16000 "$work/dem16000.tif"

now() { date +%s.%N; }
# Runs a command, prints its wall seconds and leaves its peak RSS (KiB) in $work/rss.
measure() {
  local start end
  start="$(now)"
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/stderr" || {
    cat "$work/stderr" >&2
    return 1
  }
  end="$(now)"
  calc "$end - $start"
}
calc() { awk "BEGIN { print $1 }"; }
mib() { calc "$(cat "$work/rss") / 1024"; }

t_geodem="$(measure "$geodem" convert -q --format-version GRD_2007 "$work/dem4000.tif" "$work/dem4000.dem")"
rss4000="$(mib)"
t_gdal="$(measure gdal_translate -q -of AAIGrid -ot Int32 -scale 0 1 0 100 "$work/dem4000.tif" "$work/dem4000.asc")"
rm -f "$work"/dem4000.dem "$work"/dem4000.asc
measure "$geodem" convert -q --format-version GRD_2007 "$work/dem16000x4000.tif" \
  "$work/dem16000x4000.dem" >/dev/null
rss16000x4000="$(mib)"
rm -f "$work"/dem16000x4000.*
measure "$geodem" convert -q --format-version GRD_2007 "$work/dem16000.tif" "$work/dem16000.dem" >/dev/null
rss16000="$(mib)"

ratio="$(calc "$t_geodem / $t_gdal")"
rss_ratio="$(calc "$rss16000 / $rss16000x4000")"
printf 'geodem_4000_seconds: %.2f (wall time of geodem convert, 4000 x 4000 Float32 to GRD_2007)\n' "$t_geodem"
printf 'gdal_translate_4000_seconds: %.2f (wall time of gdal_translate to an Int32 AAIGrid, same raster)\n' "$t_gdal"
printf 'geodem_vs_gdal_translate: %.3f (time ratio, at most 1.0)\n' "$ratio"
printf 'geodem_peak_rss_4000_mib: %.1f (peak resident memory on 4000 x 4000)\n' "$rss4000"
printf 'geodem_peak_rss_16000x4000_mib: %.1f (peak resident memory on 16000 columns of 4000 rows)\n' \
  "$rss16000x4000"
printf 'geodem_peak_rss_16000_mib: %.1f (peak resident memory on 16000 x 16000, at most 256)\n' "$rss16000"
printf 'geodem_peak_rss_16000_vs_16000x4000: %.3f (peak ratio, four times the rows, at most 1.2)\n' \
  "$rss_ratio"

status=0
(( $(calc "$ratio <= 1.0") )) || { echo "bench_geodem: geodem is slower than gdal_translate" >&2; status=1; }
(( $(calc "$rss16000 <= 256") )) || { echo "bench_geodem: peak memory above 256 MiB" >&2; status=1; }
(( $(calc "$rss_ratio <= 1.2") )) || { echo "bench_geodem: peak memory grows with the raster" >&2; status=1; }
exit $status
