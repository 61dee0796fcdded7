#!/usr/bin/env bash
# Conversions into a shared folder (sticky, writable for all) where another user plants links and
# files under the names a conversion is about to write.
#   shared_folder_test.sh links GEODEM PLUGIN_DIR SANITIZED   root, with user nobody planting (else skipped)
#   shared_folder_test.sh fifos GEODEM PLUGIN_DIR SANITIZED   nobody's FIFOs and files, as root likewise
#   shared_folder_test.sh names GEODEM PLUGIN_DIR SANITIZED   file names at the length limit
#   shared_folder_test.sh reading GEODEM PLUGIN_DIR SANITIZED reading touches no side file
#   shared_folder_test.sh commits GEODEM PLUGIN_DIR SANITIZED writers killed at each commit step
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
# A registry of the test's own, never the user's.
mkdir "$work/.registry"
export GEODEM_REGISTRY="$work/.registry/registry"
"$geodem" register >/dev/null || { echo "FAIL: geodem register"; exit 1; }

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

need_nobody() {
  if [ "$(id -u)" != 0 ]; then echo "skipped: needs root to plant files as user nobody"; exit 77; fi
  if ! id nobody >/dev/null 2>&1 || ! as_nobody true 2>/dev/null; then
    echo "skipped: no user nobody to plant files"; exit 77
  fi
}

links() {
  need_nobody
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
  # A stranger's link as a folder of the path leads nowhere: nothing is written behind it.
  mkdir -m 0700 "$work/secret"
  as_nobody ln -s "$work/secret" "$share/out2"
  "$geodem" convert --prj "$work/src.tif" "$share/out2/g.dem" >"$work/log" 2>&1
  refused "geodem convert through nobody's link as a folder" "$work/log" $?
  if [ "$sanitized" = 0 ]; then
    gdal_translate -q -of GEODEM "$work/src.tif" "$share/out2/h.dem" >"$work/log" 2>&1
    refused "gdal_translate through nobody's link as a folder" "$work/log" $?
  fi
  [ -z "$(ls -A "$work/secret")" ] || fail "written behind nobody's folder link: $(ls "$work/secret")"
  # A FIFO or a hard link at the lock's name: one clear error at once, nothing waited on or
  # truncated.
  as_nobody mkfifo -m 0666 "$share/f.dem.lock"
  timeout 60 "$geodem" convert "$work/src.tif" "$share/f.dem" >"$work/log" 2>&1
  status=$?
  [ "$status" != 124 ] || fail "geodem convert waited on nobody's FIFO at f.dem.lock"
  refused "geodem convert with nobody's FIFO at f.dem.lock" "$work/log" $status
  ln "$victim" "$share/h.dem.lock"
  "$geodem" convert "$work/src.tif" "$share/h.dem" >"$work/log" 2>&1
  [ $? != 0 ] || fail "geodem convert took a hard link to $victim for its lock"
  grep -q "hard links" "$work/log" || fail "no message naming the hard link: $(cat "$work/log")"
  intact "geodem convert with a hard link at h.dem.lock"
  rm -f "$share/h.dem.lock"
  # Root replacing nobody's grid and .prj in nobody's folder leaves them nobody's, as they were.
  mkdir "$work/theirs"
  "$geodem" convert -q --prj "$work/src.tif" "$work/theirs/n.dem" >"$work/log" 2>&1 ||
    fail "the first conversion: $(cat "$work/log")"
  chown -R nobody:nogroup "$work/theirs"
  chmod 0640 "$work/theirs/n.dem"
  "$geodem" convert -q --overwrite --prj "$work/src.tif" "$work/theirs/n.dem" >"$work/log" 2>&1 ||
    fail "root's conversion over nobody's grid: $(cat "$work/log")"
  [ "$(stat -c %U:%G:%a "$work/theirs/n.dem")" = nobody:nogroup:640 ] ||
    fail "nobody's grid became $(stat -c %U:%G:%a "$work/theirs/n.dem")"
  [ "$(stat -c %U "$work/theirs/n.prj")" = nobody ] ||
    fail "nobody's .prj became $(stat -c %U "$work/theirs/n.prj")'s"
  # A link of the user's own is followed as ever: the file it names is replaced.
  printf 'earlier\n' >"$work/real.dem"
  ln -s "$work/real.dem" "$share/own.dem"
  "$geodem" convert --overwrite "$work/src.tif" "$share/own.dem" >"$work/log" 2>&1 ||
    fail "geodem convert through root's own link: $(cat "$work/log")"
  [ -L "$share/own.dem" ] || fail "root's own link was replaced by a file"
  grep -q earlier "$work/real.dem" && fail "the file behind root's own link was not written"
}

# No name geodem or the driver opens waits on a FIFO or hands a stranger a byte: nobody's FIFO, with
# nobody's reader waiting at it, at an output, a report, a quick-look, a journal or a source; what
# the reader got is kept beside it as .got-NAME.
fifos() {
  need_nobody
  chmod 0755 "$work"
  local share="$work/s" name
  readers=()
  trap 'kill "${readers[@]}" 2>/dev/null; rm -rf "$work"' EXIT
  mkdir -m 1777 "$share" && chmod 1777 "$share"
  source_raster "$work/src.tif" 5
  "$geodem" convert -q "$work/src.tif" "$work/g.dem" || fail "the grid to check"
  trap_fifo() {
    as_nobody mkfifo -m 0666 "$share/$1"
    # Not through as_nobody: a function in the background is a subshell, and its pid not cat's.
    setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c "exec cat '$share/$1' >'$share/.got-$1'" &
    readers+=($!)
  }
  # Ends at once with a line that says what stands there (a hang ends at the timeout); refused
  # also fails.
  at_once() {
    local what=$1 start ms
    shift
    start=$(date +%s%N)
    timeout 20 "$@" >"$work/log" 2>&1
    status=$? ms=$((($(date +%s%N) - start) / 1000000))
    echo "$what: ${ms} ms"
    [ "$status" != 124 ] || { fail "$what waited on nobody's FIFO"; return; }
    grep -qE "FIFO|nobody" "$work/log" || fail "$what: no clear error: $(cat "$work/log")"
    [ "$ms" -lt "$limit" ] || fail "$what took ${ms} ms"
  }
  # The sanitizers' instrumentation slows every start several times over.
  local status limit=1000
  [ "$sanitized" = 0 ] || limit=5000
  refused_at_once() {
    at_once "$@"
    [ "$status" != 0 ] || fail "$1: exit 0 although nobody's FIFO stood in the way"
  }
  for name in out.dem out2.prj report.html g.png q.png geodem-batch.jsonl src.tif m.xml m.txt p.prj; do
    trap_fifo "$name"
  done
  local g="$work/g.dem" out="$share/out.dem"
  refused_at_once "convert to a FIFO" "$geodem" convert -q "$work/src.tif" "$out"
  refused_at_once "convert --overwrite to a FIFO" "$geodem" convert -q --overwrite "$work/src.tif" "$out"
  refused_at_once "convert --prj to a FIFO .prj" "$geodem" convert -q --prj "$work/src.tif" "$share/out2.dem"
  refused_at_once "info of a FIFO" "$geodem" info "$out"
  refused_at_once "check of a FIFO" "$geodem" check "$out"
  refused_at_once "check --json of a FIFO" "$geodem" check --json "$out"
  refused_at_once "info --json of a FIFO" "$geodem" info --json "$out"
  refused_at_once "check --html to a FIFO" "$geodem" check --html "$share/report.html" "$g"
  refused_at_once "check --quicklook to a FIFO" "$geodem" check --quicklook "$share" "$g"
  refused_at_once "info --quicklook to a FIFO" "$geodem" info --quicklook "$share/q.png" "$g"
  refused_at_once "batch with a FIFO journal" "$geodem" batch -q --out-dir "$share" "$work/src.tif"
  # A report skips, with a warning, a journal that is not the user's.
  at_once "batch --report of a FIFO journal" "$geodem" batch --report "$share" --json
  refused_at_once "sheets with a FIFO journal" \
    "$geodem" sheets -q --scale 1000000 --out-dir "$share" "$work/src.tif"
  refused_at_once "convert of a FIFO source" "$geodem" convert -q "$share/src.tif" "$work/o.dem"
  refused_at_once "batch of a FIFO source" "$geodem" batch -q --out-dir "$work/o" "$share/src.tif"
  refused_at_once "sheets of a FIFO source" \
    "$geodem" sheets -q --scale 1000000 --out-dir "$work/o" "$share/src.tif"
  refused_at_once "check --source of a FIFO" "$geodem" check --source "$share/src.tif" "$g"
  refused_at_once "convert --mapping of a FIFO" \
    "$geodem" convert -q --mapping "$share/m.xml" "$work/src.tif" "$work/o.dem"
  refused_at_once "batch --manifest of a FIFO" "$geodem" batch -q --manifest "$share/m.txt"
  # The driver's own part: GDAL 3.6's gdal_translate and CreateCopy open the name themselves,
  # waiting on any FIFO whatever the format, before a driver is called (its QuietDelete).
  [ "$sanitized" = 0 ] &&
    refused_at_once "the driver's CreateCopy to a FIFO" "$python" - "$work/src.tif" "$out" <<'EOF'
import sys
from osgeo import gdal
gdal.UseExceptions()
try:
    gdal.GetDriverByName("GEODEM").CreateCopy(sys.argv[2], gdal.Open(sys.argv[1]),
                                              options=["QUIET_DELETE_ON_CREATE_COPY=NO"])
except RuntimeError as e:
    print(e)
    sys.exit(1)
EOF
  # A FIFO as the .prj of a grid of one's own: read without it, at once.
  cp "$g" "$share/p.dem"
  local reader
  for reader in "$geodem info" "$geodem check" "gdalinfo"; do
    [ "$sanitized" = 0 ] || [ "$reader" != gdalinfo ] || continue
    timeout 20 $reader "$share/p.dem" >"$work/log" 2>&1
    [ $? != 124 ] || fail "$reader waited on nobody's FIFO at p.prj"
  done
  kill "${readers[@]}" 2>/dev/null
  wait "${readers[@]}" 2>/dev/null
  for name in "$share"/.got-*; do
    [ ! -s "$name" ] || fail "nobody's reader got $(stat -c %s "$name") bytes at ${name##*/.got-}"
  done
  # nobody's regular file: refused, its bytes as they were.
  as_nobody sh -c "printf 'theirs\n' >'$share/file.dem'"
  refused_at_once "convert --overwrite over nobody's file" \
    "$geodem" convert -q --overwrite "$work/src.tif" "$share/file.dem"
  if [ "$sanitized" = 0 ]; then
    refused_at_once "gdal_translate over nobody's file" \
      gdal_translate -q -of GEODEM "$work/src.tif" "$share/file.dem"
  fi
  [ "$(cat "$share/file.dem")" = theirs ] || fail "nobody's file.dem was changed"
  [ "$(stat -c %U "$share/file.dem")" = nobody ] || fail "nobody's file.dem was replaced"
  # nobody's grid: GDAL's delete before its create goes through the driver, which refuses it too.
  if [ "$sanitized" = 0 ]; then
    cp "$g" "$share/theirs.dem" && chown nobody "$share/theirs.dem"
    refused_at_once "gdal_translate over nobody's grid" \
      gdal_translate -q -of GEODEM "$work/src.tif" "$share/theirs.dem"
    cmp -s "$g" "$share/theirs.dem" || fail "GDAL's delete removed or changed nobody's grid"
  fi
  # The user's own FIFO: the grid streams into it, whether its reader comes first or last.
  mkfifo "$share/own.dem"
  timeout 60 "$geodem" convert -q --overwrite "$work/src.tif" "$share/own.dem" >"$work/log" 2>&1 &
  local writer=$!
  sleep 0.5
  timeout 60 cat "$share/own.dem" >"$work/streamed.dem"
  wait $writer || fail "convert into the user's own FIFO: $(cat "$work/log")"
  cmp -s "$work/streamed.dem" "$g" || fail "the grid did not stream whole into the user's own FIFO"
}

# Reading changes nothing, in any GDAL program with the plug-in loaded: no name is looked at but the
# ones given (no lock, no side file), and a FIFO at a side name delays nothing.
reading() {
  [ "$sanitized" = 0 ] || { echo "skipped: the sanitized plug-in loads into no GDAL tool"; exit 77; }
  command -v strace >/dev/null || { echo "skipped: no strace (scripts/bootstrap.sh --tests)"; exit 77; }
  source_raster "$work/src.tif" 5
  mkfifo "$work/out.tif.lock" "$work/missing.dem.lock"
  "$geodem" convert -q --prj "$work/src.tif" "$work/g.dem" || fail "geodem convert"
  local command
  for command in "gdal_translate -q -of GTiff $work/src.tif $work/out.tif" \
                 "gdalinfo $work/missing.dem" "gdalinfo $work/g.dem"; do
    timeout 60 strace -f -qq -e trace=%file -o "$work/trace" $command >/dev/null 2>&1
    [ $? != 124 ] || fail "$command waited on a FIFO"
    grep -E '\.(lock|kept|ready|part)"' "$work/trace" | grep -v ENOENT >/dev/null &&
      fail "$command touched a side file: $(grep -E '\.(lock|kept|ready|part)"' "$work/trace")"
    grep -E '\.(lock|kept|ready)"' "$work/trace" >/dev/null &&
      fail "$command looked at a side name: $(grep -E '\.(lock|kept|ready)"' "$work/trace" | head -3)"
  done
  # Identify of a name that is no grid costs nothing: with the plug-in, GDAL's tools make the same
  # calls on the names they are given as without it.
  for command in "gdalinfo $work/src.tif" "gdal_translate -q -of GTiff $work/src.tif $work/b.tif"; do
    local calls=()
    for plugins in "$GDAL_DRIVER_PATH" "$work/no-plug-ins"; do
      rm -f "$work/b.tif"
      GDAL_DRIVER_PATH=$plugins strace -f -qq -e trace=%file -o "$work/trace" $command >/dev/null 2>&1
      calls+=("$(grep -cE "\"$work/(src|b)\.tif" "$work/trace")")
    done
    echo "$command: ${calls[0]} file calls on its names with the plug-in, ${calls[1]} without"
    [ "${calls[0]}" = "${calls[1]}" ] || fail "$command: the plug-in adds file calls on its names"
  done
}

# Every writer killed at each step of its commit (see commit_kill_points.py).
commits() {
  command -v strace >/dev/null || { echo "skipped: no strace (scripts/bootstrap.sh --tests)"; exit 77; }
  # An instrumented plug-in loads only into instrumented programs: Python makes its sources
  # without it then, and only geodem's writers are killed.
  [ "$sanitized" = 0 ] || export GDAL_DRIVER_PATH="$work/no-plug-ins"
  "$python" "$(dirname "$0")/commit_kill_points.py" "$geodem" "$sanitized"
  exit $?
}

# Another dataset's .prj at a grid's .prj name (see shared_prj.py).
shared_prj() {
  [ "$sanitized" = 0 ] || export GDAL_DRIVER_PATH="$work/no-plug-ins"
  "$python" "$(dirname "$0")/shared_prj.py" "$geodem" "$sanitized"
  exit $?
}

case $mode in
  names) names ;;
  links) links ;;
  fifos) fifos ;;
  reading) reading ;;
  commits) commits ;;
  shared_prj) shared_prj ;;
  *) echo "usage: $0 links|fifos|names|reading|commits|shared_prj GEODEM PLUGIN_DIR SANITIZED"; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "passed" || exit 1
