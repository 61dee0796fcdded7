#!/usr/bin/env bash
# Waits until no program holds Debian's package locks, up to SECONDS (default 600), saying once
# which program holds them; exits 1 when they are still held at the end.
#   scripts/wait_for_apt.sh [SECONDS]
set -uo pipefail
limit="${1:-600}"
locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock
       /var/cache/apt/archives/lock)

# "PID (command)" of a process holding one of the locks; empty when none does.
holder() {
  lslocks -n -o PID,COMMAND,PATH 2>/dev/null |
    awk -v locks="${locks[*]}" 'BEGIN { n = split(locks, l, " "); for (i = 1; i <= n; i++) want[l[i]] = 1 }
                                $3 in want { print $1 " (" $2 ")"; exit }'
}

start=$SECONDS
said=""
while held="$(holder)" && [ -n "$held" ]; do
  if ((SECONDS - start >= limit)); then
    echo "bootstrap: Debian's package lock is still held by process $held after $limit s;" \
         "let it finish, then run this again" >&2
    exit 1
  fi
  if [ -z "$said" ]; then
    echo "bootstrap: waiting up to $limit s for Debian's package lock, held by process $held"
    said=yes
  fi
  sleep 1
done
[ -z "$said" ] || echo "bootstrap: the package lock is free after $((SECONDS - start)) s"
exit 0
