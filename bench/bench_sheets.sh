#!/usr/bin/env bash
# geodem sheets against geodem batch over the same sheets cut in advance, in the same run: a
# geographic DEM at 1" over 116-118 E, 39°20'-40° N cut into its 32 sheets at 1:50 000 (900 x 600
# cells each), both at -j 1. The ratio sheets / batch of processor time (the conversions'
# included; the machine's other load does not stretch it) must stay at most 1.15: planning the
# sheets (finding them, cutting VRTs, looking for data) and reading through the VRTs may cost
# little. The clock's times are printed too.
# Needs BUILD_DIR (a build with the registered writer). Prints "name: value (meaning)" lines and
# exits non-zero when the limit is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
geodem="${BUILD_DIR:?BUILD_DIR names the build}/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/geodem-bench-sheets-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
gdal_translate -q -ot Float32 -r bilinear -outsize 7200 2400 -a_srs EPSG:4490 \
  -a_ullr 116 40 118 39.333333333333333 "$work/seed.tif" "$work/dem.tif"
mkdir -p "$work/cut"
sheets="$("$geodem" sheets --scale 50000 --list "$work/dem.tif" | cut -d' ' -f1)"
for s in $sheets; do
  read -r w south e n <<<"$("$geodem" sheets --extent "$s")"
  gdal_translate -q -projwin "$w" "$n" "$e" "$south" "$work/dem.tif" "$work/cut/$s.tif"
done

. "$root/bench/support/timing.sh"
batch() { rm -rf "$work/out"; "$1" "$geodem" batch -q -j 1 --out-dir "$work/out" "$work"/cut/*.tif; }
cut() { rm -rf "$work/out"; "$1" "$geodem" sheets --scale 50000 -q -j 1 --out-dir "$work/out" "$work/dem.tif"; }

# Alternating, best of three each, so that a change of the machine's load weighs on both alike.
c_batch=1e9 c_sheets=1e9
for _ in 1 2 3; do
  c_batch="$(min "$c_batch" "$(batch cputimed)")"
  c_sheets="$(min "$c_sheets" "$(cut cputimed)")"
done
t_batch="$(batch timed)"
t_sheets="$(cut timed)"
ratio="$(calc "$c_sheets / $c_batch")"
printf 'sheets_count: %d (1:50 000 sheets of the DEM)\n' "$(wc -w <<<"$sheets")"
printf 'sheets_batch_cpu_seconds: %.2f (geodem batch -j 1 over the sheets cut in advance)\n' "$c_batch"
printf 'sheets_cpu_seconds: %.2f (geodem sheets -j 1, planning and cutting included)\n' "$c_sheets"
printf 'sheets_batch_seconds: %.2f, sheets_seconds: %.2f (the clock, one run each)\n' "$t_batch" "$t_sheets"
printf 'sheets over batch: %.3f (processor time, at most 1.15)\n' "$ratio"
(( $(calc "($ratio <= 1.15)") )) || { echo "bench_sheets: geodem sheets takes more than 1.15 times geodem batch" >&2; exit 1; }
