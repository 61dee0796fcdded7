#!/usr/bin/env bash
# `cmake --install` into a temporary prefix, then the installed geodem run from there with the
# build tree hidden (a private mount over it): it registers its own module, converts a sample, and
# the installed GDAL plug-in opens the result. Nothing outside the temporary folder is touched: the
# plug-in, whose real home is GDAL's system folder, is staged under DESTDIR.
#   install_prefix_test.sh BUILD_DIR LIBDIR SOURCE_DIR SANITIZED(0|1)
set -euo pipefail
build="$1"
libdir="$2"
source_dir="$3"
sanitized="$4"

work="$(mktemp -d /tmp/geodem-install-XXXXXX)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" --component geodem >/dev/null
DESTDIR="$work/stage" cmake --install "$build" --component gdal-plugin >/dev/null
plugin="$(find "$work/stage" -name gdal_GEODEM.so)"

fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$prefix" --component qgis-plugin >/dev/null
for f in bin/geodem "$libdir/geodem/libHVXOGEODEMWriter.so" "$libdir/libhvxhost.so" \
         include/geodem/host/ComRuntime.h include/geodem/host/IWriterJob.h share/man/man1/geodem.1 \
         share/man/zh_CN/man1/geodem.1 \
         share/locale/zh_CN/LC_MESSAGES/geodem.mo share/qgis/python/plugins/geodem/__init__.py \
         share/qgis/python/plugins/geodem/metadata.txt; do
  [ -f "$prefix/$f" ] || fail "cmake --install left out $f"
done
[ -n "$plugin" ] || fail "cmake --install left out the GDAL plug-in"
# No installed file refers to the build tree (rpaths, paths compiled in); debug information may
# name the sources, so it is left out of the search.
while IFS= read -r -d '' f; do
  objcopy --strip-debug "$f" "$work/stripped" 2>/dev/null || cp "$f" "$work/stripped"
  if grep -qF "$build" "$work/stripped"; then fail "the installed $f refers to the build tree $build"; fi
done < <(find "$prefix" "$work/stage" -type f -print0)

# A third-party host needs nothing but the install: its headers and the host runtime. (A sanitized
# build's runtime would need the sanitizer in the host too.)
third_party_host="$work/third_party_host"
if [ "$sanitized" = 0 ]; then
  c++ -std=c++20 -I"$prefix/include/geodem" $(pkg-config --cflags gdal) \
    "$source_dir/tests/install/third_party_host.cpp" -o "$third_party_host" \
    -L"$prefix/$libdir" -lhvxhost -Wl,-rpath,"$prefix/$libdir" ||
    fail "a host cannot be built from the installed headers and host runtime"
fi

# Everything below runs with the build tree hidden, and with a registry of its own.
"$source_dir/scripts/sample_dem.sh" "$work/sample.tif" 60 40
cat >"$work/run.sh" <<SCRIPT
set -euo pipefail
mount -t tmpfs none "$build"
export GEODEM_REGISTRY="$work/registry"
unset GDAL_DRIVER_PATH
[ -z "\$(ls -A "$build")" ] || { echo "FAIL: the build tree is still visible"; exit 1; }
"$prefix/bin/geodem" register
grep -qF "$prefix/$libdir/geodem/libHVXOGEODEMWriter.so" "$work/registry" ||
  { echo "FAIL: geodem register did not register the installed module"; exit 1; }
"$prefix/bin/geodem" convert -q "$work/sample.tif" "$work/sample.dem"
[[ "\$("$prefix/bin/geodem" info "$work/sample.dem")" == *"40 rows x 60 columns"* ]] ||
  { echo "FAIL: geodem info does not read the grid file back"; exit 1; }
# The installed catalogue, found beside the installed program.
[[ "\$(LANG=zh_CN.UTF-8 "$prefix/bin/geodem" --help)" == *"子命令"* ]] ||
  { echo "FAIL: the installed geodem does not find its Chinese catalogue"; exit 1; }
# The QGIS plugin runs the geodem installed with it, whatever PATH holds (where QGIS's Python is).
if /usr/bin/python3 -c "import qgis.core" 2>/dev/null; then
  found="\$(PATH=/usr/bin:/bin /usr/bin/python3 -c "import sys
sys.path.insert(0, '$prefix/share/qgis/python/plugins')
from geodem.geodem_program import GeodemProgram
print(GeodemProgram.find())")"
  [ "\$found" = "$prefix/bin/geodem" ] ||
    { echo "FAIL: the installed QGIS plugin runs '\$found', not $prefix/bin/geodem"; exit 1; }
fi
if [ "$sanitized" = 0 ]; then
  # Another host, built from the installed headers and host runtime alone, creates the writer.
  "$third_party_host"
  export GDAL_DRIVER_PATH="\$(dirname "$plugin")"
  [[ "\$(gdalinfo "$work/sample.dem")" == *"Driver: GEODEM"* ]] ||
    { echo "FAIL: the installed GDAL plug-in does not open the grid file"; exit 1; }
fi
echo "installed geodem converted a sample with the build tree hidden"
SCRIPT
if [ "$(id -u)" -eq 0 ]; then
  unshare --mount --propagation private bash "$work/run.sh"
elif unshare --map-root-user --mount true 2>/dev/null; then
  unshare --map-root-user --mount --propagation private bash "$work/run.sh"
else
  echo "SKIP: cannot hide the build tree (no mount namespace for this user); the install itself passed"
  exit 77
fi
