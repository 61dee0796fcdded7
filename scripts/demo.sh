#!/usr/bin/env bash
# The tour: installs what is missing, builds (the build registers the writer module), makes a
# sample DEM and converts it to out/sample.dem, showing progress, log and statistics, then the
# first lines of the grid file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/bootstrap.sh
build="${BUILD_DIR:-$root/build}"
echo "== building into $build"
BUILD_DIR="$build" scripts/build.sh >/dev/null
mkdir -p out
echo "== making the sample DEM out/sample.tif (1200 x 900 cells of 25 m)"
scripts/sample_dem.sh out/sample.tif 1200 900
echo "== geodem convert --overwrite --format-version GRD_2007 out/sample.tif out/sample.dem"
"$build/bin/geodem" convert --overwrite --format-version GRD_2007 out/sample.tif out/sample.dem
echo "== the first lines of out/sample.dem"
head -n 20 out/sample.dem | tr -d '\r'
