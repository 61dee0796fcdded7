#!/usr/bin/env bash
# The tour: installs what building and running geodem needs, builds (the build registers the
# writer module), makes a sample DEM and converts it to "$out"/sample.dem (or DEMO_OUT), showing progress, log and
# statistics, then the first lines of the grid file and what to try next.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/bootstrap.sh
build="${BUILD_DIR:-$root/build}"
echo "== building into $build (the first build takes a few minutes)"
start=$SECONDS
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# The build's own lines go to a log; the terminal sees CMake's percentage, on one line where it
# is a terminal and a line per tenth elsewhere. Only what the conversion runs is built: geodem,
# the writer module it registers and the GDAL plug-in. The options are the test suite's, so that
# scripts/test.sh afterwards builds the tests on this build instead of redoing it.
if ! TARGETS="geodem_register gdal_GEODEM" BUILD_DIR="$build" scripts/build.sh -DGEODEM_WERROR=ON 2>&1 | tee "$log" |
     scripts/build_progress.sh; then
  echo "== the build failed; its last lines:" >&2
  tail -n 30 "$log" >&2
  exit 1
fi
echo "== built in $((SECONDS - start)) s, $(grep -c "Building C" "$log" || true) files compiled"
out="${DEMO_OUT:-out}"
mkdir -p "$out"
echo "== making the sample DEM $out/sample.tif (1200 x 900 cells of 25 m)"
scripts/sample_dem.sh "$out"/sample.tif 1200 900
echo "== geodem convert --overwrite --format-version GRD_2007 $out/sample.tif $out/sample.dem"
"$build/bin/geodem" convert --overwrite --format-version GRD_2007 "$out"/sample.tif "$out"/sample.dem
echo "== the first lines of $out/sample.dem"
head -n 20 "$out"/sample.dem | tr -d '\r'
cat <<EOT
== what to try next
  $build/bin/geodem info $out/sample.dem                  # header, extent, heights
  $build/bin/geodem convert --help                       # every option of a conversion
  GDAL_DRIVER_PATH=$build/lib/gdalplugins gdalinfo -stats $out/sample.dem
  README.md, "Using geodem": mosaics, sheet sets, the GDAL driver, Python and R
EOT
