#!/usr/bin/env bash
# Conversions into a shared folder (sticky, writable for all) where another user plants links and
# files under the names a conversion is about to write.
#   shared_folder_test.sh links GEODEM PLUGIN_DIR SANITIZED   root, with user nobody planting (else skipped)
#   shared_folder_test.sh names GEODEM PLUGIN_DIR SANITIZED   file names at the length limit
# A sanitized build's plug-in loads only into instrumented programs: GDAL's own tools then run
# without it, and the checks through gdal_translate and Python are left to the plain build.
set -uo pipefail
mode=$1 geodem=$2 sanitized=${4:-0}
export GDAL_DRIVER_PATH=$3
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A small georeferenced source; the value tells the tiles apart.
source_raster() {
  GDAL_DRIVER_PATH="$work/no-plug-ins" gdal_create -of GTiff -outsize 4 3 -bands 1 -ot Float32 -burn "$2" -a_srs EPSG:4326 \
    -a_ullr 100 40 100.04 39.97 "$1" >/dev/null
}

names() {
  source_raster "$work/one.tif" 11
  source_raster "$work/two.tif" 22
  local stem
  stem=$(printf 'n%.0s' $(seq 250))
  # Both 255 bytes, the same first 250: their side files must still be their own.
  local a="$work/${stem}a.dem" b="$work/${stem}b.dem"
  "$geodem" convert "$work/one.tif" "$a" >"$work/a.log" 2>&1 &
  local first=$!
  "$geodem" convert "$work/two.tif" "$b" >"$work/b.log" 2>&1 || fail "convert to $b: $(cat "$work/b.log")"
  wait $first || fail "convert to $a: $(cat "$work/a.log")"
  [ -s "$a" ] || fail "the 255-byte grid file $a is gone"
  [ -s "$b" ] || fail "the 255-byte grid file $b is gone"
  cmp -s "$a" "$b" && fail "two targets of different sources hold the same grid"
  local left
  left=$(ls "$work" | grep -v '^one.tif$\|^two.tif$\|\.log$\|a\.dem$\|b\.dem$')
  [ -z "$left" ] || fail "left beside the grid files: $left"
}

as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

links() {
  if [ "$(id -u)" != 0 ]; then echo "skipped: needs root to plant files as user nobody"; exit 77; fi
  if ! id nobody >/dev/null 2>&1 || ! as_nobody true 2>/dev/null; then
    echo "skipped: no user nobody to plant files"; exit 77
  fi
  chmod 0755 "$work"
  local share="$work/share" victim="$work/victim"
  mkdir -m 1777 "$share"
  chmod 1777 "$share"
  printf 'root data\n' >"$victim"
  cp "$victim" "$work/victim.orig"
  source_raster "$work/src.tif" 5
  plant() { as_nobody ln -s "$victim" "$1"; }
  intact() { cmp -s "$victim" "$work/victim.orig" || fail "$1 wrote through the link into $victim"; }
  # Refused with one message naming the link's owner, nothing written through it.
  refused() {
    local what=$1 log=$2 status=$3
    [ "$status" != 0 ] || fail "$what: exit 0 although a link of nobody stood in the way"
    grep -q nobody "$log" || fail "$what: no message naming nobody: $(cat "$log")"
    intact "$what"
  }
  local name status
  for name in g.dem g.dem.tmp g.prj; do
    plant "$share/$name"
    "$geodem" convert --overwrite --prj "$work/src.tif" "$share/g.dem" >"$work/log" 2>&1
    refused "geodem convert with a link at $name" "$work/log" $?
    rm -f "$share"/g.*
  done
  mkdir -m 1777 "$share/out" && chmod 1777 "$share/out"
  plant "$share/out/src.dem"
  "$geodem" batch --overwrite --out-dir "$share/out" "$work/src.tif" >"$work/log" 2>&1
  status=$?
  [ "$status" != 0 ] || fail "geodem batch: exit 0 although a link of nobody stood at src.dem"
  intact "geodem batch"
  for name in t.dem t.prj; do
    [ "$sanitized" = 0 ] || break
    plant "$share/$name"
    gdal_translate -q -of GEODEM -co PRJ=YES "$work/src.tif" "$share/t.dem" >"$work/log" 2>&1
    refused "gdal_translate with a link at $name" "$work/log" $?
    rm -f "$share"/t.*
  done
  for name in c.dem c.dem.tmp.tif; do
    [ "$sanitized" = 0 ] || break
    plant "$share/$name"
    "$python" - "$share/c.dem" >"$work/log" 2>&1 <<'EOF'
import sys
from osgeo import gdal
gdal.UseExceptions()
try:
    gdal.GetDriverByName("GEODEM").Create(sys.argv[1], 4, 3, 1, gdal.GDT_Float32)
except RuntimeError as e:
    print(e)
    sys.exit(1)
EOF
    refused "Python Create with a link at $name" "$work/log" $?
    rm -f "$share"/c.*
  done
  # Another user's lock is neither waited for nor taken over.
  as_nobody sh -c "printf 'x' >'$share/l.dem.lock'; chmod 0666 '$share/l.dem.lock'"
  "$geodem" convert "$work/src.tif" "$share/l.dem" >"$work/log" 2>&1
  refused "geodem convert with nobody's l.dem.lock" "$work/log" $?
  [ "$(stat -c %U:%s "$share/l.dem.lock")" = nobody:1 ] || fail "nobody's lock file was reused"
  [ ! -e "$share/l.dem" ] || fail "l.dem written without its lock"
  # The system registry's lock is root's alone: another user can neither take it nor delay root.
  local system="$work/system/registry"
  GEODEM_SYSTEM_REGISTRY=$system "$geodem" register --system >"$work/log" 2>&1 ||
    fail "geodem register --system: $(cat "$work/log")"
  as_nobody flock -x -n "$system.lock" true 2>/dev/null && fail "nobody could hold $system.lock"
  GEODEM_SYSTEM_REGISTRY=$system "$geodem" register --system >"$work/log" 2>&1 ||
    fail "geodem register --system after nobody tried its lock: $(cat "$work/log")"
  # A link of the user's own is followed as ever: the file it names is replaced.
  printf 'earlier\n' >"$work/real.dem"
  ln -s "$work/real.dem" "$share/own.dem"
  "$geodem" convert --overwrite "$work/src.tif" "$share/own.dem" >"$work/log" 2>&1 ||
    fail "geodem convert through root's own link: $(cat "$work/log")"
  [ -L "$share/own.dem" ] || fail "root's own link was replaced by a file"
  grep -q earlier "$work/real.dem" && fail "the file behind root's own link was not written"
}

case $mode in
  names) names ;;
  links) links ;;
  *) echo "usage: $0 links|names GEODEM PLUGIN_DIR SANITIZED"; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "passed" || exit 1
