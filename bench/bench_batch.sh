#!/usr/bin/env bash
# geodem batch on 16 tiles of 2000 x 2000 Float32, all in the same run:
#  - -j 1 against the sum of 16 single geodem convert runs: the batch's own overhead, at most 5 %;
#  - -j 2 against the same 16 single runs two at a time: the batch's overhead at that parallelism,
#    at most 10 % (a single conversion already keeps both cores of a 2-core machine partly busy,
#    so -j 2 against -j 1 measures the machine, not the batch);
#  - a run again over the 16 converted tiles (resuming with nothing left to do) against one
#    single convert: at most half of it, for it only looks at the grid files (a run starts GDAL
#    and reads the journals, which costs about one process start);
#  - a run again over a converted set of 300 small tiles: under a second, for it only looks at
#    each tile's files and sources and reads the journals.
# Needs BUILD_DIR (a build with the registered writer). Prints "name: value (meaning)" lines and
# exits non-zero when a limit is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
geodem="${BUILD_DIR:?BUILD_DIR names the build}/bin/geodem"
work="$(mktemp -d "${TMPDIR:-/tmp}/geodem-bench-batch-XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A registry of its own with this build's writer, whatever the user's registry names.
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

"$root/scripts/sample_dem.sh" "$work/seed.tif" 400 400
mkdir -p "$work/tiles"
for i in $(seq 0 15); do
  # Each tile a different window of the surface, resampled to 2000 x 2000.
  gdal_translate -q -ot Float32 -r bilinear -srcwin $((i % 4 * 40)) $((i / 4 * 40)) 240 240 \
    -outsize 2000 2000 -co TILED=NO "$work/seed.tif" "$work/tiles/t$i.tif"
done

. "$root/bench/support/timing.sh"
batch() { rm -rf "$work/out"; timed "$geodem" batch -q -j "$1" --out-dir "$work/out" "$work"/tiles/*.tif; }
# The 16 single converts, $1 at a time.
singles() {
  local start
  rm -rf "$work/single" && mkdir -p "$work/single"
  sync
  start="$(now)"
  printf '%s\n' "$work"/tiles/*.tif | xargs -P "$1" -I{} sh -c \
    'name="${2##*/}"; "$1" convert -q "$2" "$3/${name%.tif}.dem" 2>>"$4"' \
    _ "$geodem" {} "$work/single" "$work/stderr" || { cat "$work/stderr" >&2; return 1; }
  calc "$(now) - $start"
}

# The batch at -j 1 and the single converts alternate, best of two each, so that a change of the
# machine's load in between weighs on both alike.
t_single="$(singles 1)"
t_j1="$(batch 1)"
t_single="$(min "$t_single" "$(singles 1)")"
t_j1="$(min "$t_j1" "$(batch 1)")"
t_single2="$(singles 2)"
t_j2="$(batch 2)"
t_single2="$(min "$t_single2" "$(singles 2)")"
t_j2="$(min "$t_j2" "$(batch 2)")"
# The out folder now holds the whole set, converted by the last batch.
resume() { timed "$geodem" batch -q -j 2 --out-dir "$work/out" "$work"/tiles/*.tif; }
t_resume="$(resume)"
t_resume="$(min "$t_resume" "$(resume)")"
overhead2="$(calc "($t_j2 / $t_single2 - 1) * 100")"
resume_share="$(calc "$t_resume / ($t_single / 16)")"
overhead="$(calc "($t_j1 / $t_single - 1) * 100")"
printf 'batch_single_converts_seconds: %.2f (16 geodem convert runs, one after the other)\n' "$t_single"
printf 'batch_j1_seconds: %.2f (geodem batch -j 1 over the 16 tiles)\n' "$t_j1"
printf 'batch_single_converts_2_seconds: %.2f (16 geodem convert runs, two at a time)\n' "$t_single2"
printf 'batch_j2_seconds: %.2f (geodem batch -j 2 over the 16 tiles)\n' "$t_j2"
printf 'batch_resume_seconds: %.3f (geodem batch again over the 16 converted tiles)\n' "$t_resume"
printf 'batch resume share: %.3f (resume time / one single convert, at most 0.5)\n' "$resume_share"
printf 'batch overhead at -j 1: %.1f %% (over the sum of single converts, at most 5)\n' "$overhead"
printf 'batch overhead at -j 2: %.1f %% (over single converts two at a time, at most 10)\n' "$overhead2"

status=0
(( $(calc "$overhead2 <= 10") )) || { echo "bench_batch: -j 2 adds more than 10 % to single converts two at a time" >&2; status=1; }
(( $(calc "$overhead <= 5") )) || { echo "bench_batch: the batch adds more than 5 % to single converts" >&2; status=1; }
(( $(calc "($resume_share <= 0.5)") )) || { echo "bench_batch: resuming a converted set costs more than half of one tile's conversion" >&2; status=1; }
# 300 tiles of 40 x 40 cells, each a window of the seed, converted once and then resumed.
mkdir -p "$work/small"
/usr/bin/python3 - "$work/seed.tif" "$work/small" <<'PY'
import sys
from osgeo import gdal
gdal.UseExceptions()
seed = gdal.Open(sys.argv[1])
for i in range(300):
    gdal.Translate(f"{sys.argv[2]}/s{i:03d}.tif", seed, srcWin=[i % 10 * 40, i // 10 % 10 * 40, 40, 40])
PY
"$geodem" batch -q -j 2 --out-dir "$work/small-out" "$work"/small/*.tif
resume300() { timed "$geodem" batch -q -j 2 --out-dir "$work/small-out" "$work"/small/*.tif; }
t_resume300="$(resume300)"
t_resume300="$(min "$t_resume300" "$(resume300)")"
printf 'batch_resume_300_seconds: %.3f (geodem batch again over 300 converted tiles, under 1)\n' "$t_resume300"
(( $(calc "($t_resume300 < 1)") )) || { echo "bench_batch: resuming a converted set of 300 tiles takes a second or more" >&2; status=1; }
exit $status
