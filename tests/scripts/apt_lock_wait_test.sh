#!/usr/bin/env bash
# The bootstrap's wait for Debian's package lock: held for a few seconds by this test, it waits
# and goes on; held past its limit, it gives up naming the holder.
#   apt_lock_wait_test.sh SOURCE_DIR
set -euo pipefail
wait_script="$1/scripts/wait_for_apt.sh"
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: only root may take the package lock"; exit 77; }
[ -e /var/lib/dpkg/lock-frontend ] || { echo "SKIPPED: no dpkg here"; exit 77; }
bash "$wait_script" 0 >/dev/null 2>&1 || { echo "SKIPPED: a real install holds the lock"; exit 77; }

hold() {  # holds the front-end lock for $1 seconds, in the background
  /usr/bin/python3 -c '
import fcntl, os, sys, time
fd = os.open("/var/lib/dpkg/lock-frontend", os.O_RDWR)
fcntl.lockf(fd, fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(float(sys.argv[1]))' "$1" &
}
out="$(mktemp)"
trap 'rm -f "$out"; kill $(jobs -p) 2>/dev/null || true' EXIT
fail() { cat "$out"; echo "FAIL: $*"; exit 1; }

hold 3; holder=$!
sleep 0.5
bash "$wait_script" 60 >"$out" 2>&1 || fail "the wait gave up while the lock was freed"
grep -q "held by process $holder (python3)" "$out" || fail "the holder was not named"
grep -q "the package lock is free" "$out" || fail "the wait did not say it went on"
wait "$holder"

hold 30; holder=$!
sleep 0.5
! bash "$wait_script" 1 >"$out" 2>&1 || fail "the wait went on while the lock was held"
grep -q "still held by process $holder" "$out" || fail "the refusal does not name the holder"
echo "the wait names the holder, goes on when the lock is freed and gives up at its limit"
