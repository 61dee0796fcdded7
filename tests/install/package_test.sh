#!/usr/bin/env bash
# The Debian package end to end: built with CPack from this build tree, installed with dpkg -i,
# then used by an unprivileged user with nothing set (no GEODEM_* and no GDAL_DRIVER_PATH):
# geodem converts a sample, GDAL's tools list the GEODEM driver and open the grid file, man renders
# the page. Then dpkg -r, after which the writer is gone from the system-wide registry and no file
# of the package remains. The package is removed again whatever happens.
#   package_test.sh BUILD_DIR SOURCE_DIR SANITIZED(0|1) SYSTEM_REGISTRY
set -uo pipefail
build="$1"
source_dir="$2"
sanitized="$3"
registry="$4"

skip() { echo "SKIP: $*"; exit 77; }
[ "$sanitized" = 0 ] || skip "an instrumented build cannot be packaged: GDAL's tools cannot load an AddressSanitizer plug-in (the plain suite tests the package)"
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb dpkg-shlibdeps cpack runuser man gdalinfo gdal_translate; do
  command -v "$tool" >/dev/null || skip "$tool is not available"
done
# One package test at a time on this machine (other build trees run it too).
exec 9>/var/lock/geodem-package-test.lock
flock 9
if [[ "$(dpkg-query -W -f='${Status}' geodem 2>/dev/null)" == *" installed"* ]]; then
  skip "a geodem package is installed on this machine; the test would replace it"
fi
[ -e "$registry" ] && skip "the system-wide registry $registry exists already; the test would change it"
registry_folder="$(dirname "$registry")"
[ -e "$registry_folder" ] && folder_was_there=1 || folder_was_there=0

work="$(mktemp -d /tmp/geodem-package-XXXXXX)"
installed=0
cleanup() {
  [ $installed = 1 ] && run_dpkg --purge geodem
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# dpkg, waiting while another program (apt-get, say) holds dpkg's own lock.
run_dpkg() {
  local tries=60
  until dpkg "$@" >"$work/dpkg.log" 2>&1; do
    if grep -q "lock" "$work/dpkg.log" && ((--tries > 0)); then sleep 2; continue; fi
    cat "$work/dpkg.log"
    return 1
  done
}

(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$(ls "$work"/deb/geodem_*.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || fail "cpack made no package"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libgdal* ]] || fail "the package does not depend on GDAL: $(dpkg-deb -f "$deb" Depends)"

registered() { grep -q "HVXOGEODEMWriter" "$registry" || fail "$1: the writer is not registered in $registry"; }
# An earlier version of the same package (the same files, a lower version), upgraded to this one:
# its prerm unregisters the writer, and this postinst must register it again.
version="$(dpkg-deb -f "$deb" Version)"
dpkg-deb -R "$deb" "$work/earlier" || fail "cannot unpack $deb"
sed -i "s/^Version: .*/Version: ${version}~earlier/" "$work/earlier/DEBIAN/control"
dpkg-deb -b "$work/earlier" "$work/earlier.deb" >/dev/null || fail "cannot build the earlier package"
installed=1
run_dpkg -i "$work/earlier.deb" || fail "dpkg -i of version ${version}~earlier failed"
registered "after installing version ${version}~earlier"
run_dpkg -i "$deb" || fail "dpkg -i (upgrade to $version) failed"
registered "after the upgrade to $version"
dpkg -L geodem >"$work/files"
# What dpkg runs when a removal or an upgrade is undone after prerm: the registration comes back.
info=/var/lib/dpkg/info
for undo in "remove:abort-remove" "upgrade:abort-upgrade" "deconfigure:abort-deconfigure"; do
  "$info/geodem.prerm" "${undo%%:*}" "$version" >/dev/null 2>&1
  "$info/geodem.postinst" "${undo##*:}" "$version" || fail "postinst ${undo##*:} failed"
  registered "after prerm ${undo%%:*} and postinst ${undo##*:}"
done

# The user's part, in a folder of its own, with a clean environment.
mkdir -p "$work/user"
"$source_dir/scripts/sample_dem.sh" "$work/user/sample.tif" 60 40
chown -R nobody "$work/user"
chmod 755 "$work"
as_user() { runuser -u nobody -- env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
cd "$work/user"
as_user geodem convert -q sample.tif sample.dem || fail "geodem convert as an unprivileged user failed"
# Each output is read whole before it is searched (grep -q would cut the writer's pipe short).
contains() { grep -qF -- "$2" <<<"$1"; }
contains "$(as_user gdalinfo --formats)" "GEODEM" || fail "gdalinfo --formats does not list GEODEM"
contains "$(as_user gdalinfo sample.dem)" "Driver: GEODEM" || fail "gdalinfo does not open the grid file"
as_user gdal_translate -q -of GTiff sample.dem back.tif || fail "gdal_translate -of GTiff failed"
contains "$(as_user gdalinfo back.tif)" "Size is 60, 40" || fail "the translated raster is not 60 x 40"
page="$(grep '/man1/geodem.1' "$work/files" | head -n 1)"
contains "$(as_user man -l "$page" 2>/dev/null)" "geodem convert" || fail "man -l $page renders nothing"

# The QGIS plugin where QGIS looks for system plugins: qgis_process (where QGIS is installed) lists
# its algorithms for a user who only enabled it.
plugin=/usr/share/qgis/python/plugins/geodem
grep -qx "$plugin/metadata.txt" "$work/files" || fail "the package lacks the QGIS plugin in $plugin"
grep -q "__pycache__" "$work/files" && fail "the package holds compiled Python of the build tree"
if command -v qgis_process.bin >/dev/null; then
  mkdir "$work/user/home" && chown nobody "$work/user/home"
  listed="$(as_user HOME="$work/user/home" QT_QPA_PLATFORM=offscreen PYTHONDONTWRITEBYTECODE=1 \
            sh -c 'qgis_process.bin plugins enable geodem && qgis_process.bin list' 2>/dev/null)"
  contains "$listed" "geodem:convert" || fail "qgis_process does not list the plugin's algorithms"
fi
# QGIS run as root leaves the plugin compiled beside it; the removal takes that too.
/usr/bin/python3 -c "import sys; sys.path.insert(0, '${plugin%/*}'); import geodem.stderr_reader" ||
  fail "the installed plugin cannot be imported"

run_dpkg -r geodem || fail "dpkg -r failed"
installed=0
run_dpkg --purge geodem || fail "dpkg --purge failed"
if [ -e "$registry" ] && grep -q "HVXOGEODEMWriter" "$registry"; then
  fail "the writer is still registered in $registry"
fi
[ -e "$registry" ] && fail "the system-wide registry $registry was left behind"
[ $folder_was_there = 0 ] && [ -e "$registry_folder" ] && fail "the registry's folder $registry_folder was left behind"
left="$(while read -r f; do [ -f "$f" ] || [ -L "$f" ] && echo "$f"; done <"$work/files")"
[ -z "$left" ] || fail "dpkg -r left files behind: $left"
[ -e "$plugin" ] && fail "dpkg -r left the QGIS plugin's folder $plugin behind"
echo "package $(basename "$deb") installed, used by nobody and removed without a trace"
