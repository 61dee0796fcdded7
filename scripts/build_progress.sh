#!/usr/bin/env bash
# Reads a CMake build's output on stdin and shows only its progress: the percentage rewritten on
# one line when stdout is a terminal, else one line each time it passes another tenth.
set -uo pipefail
shown=-1
on_terminal=""
[ -t 1 ] && on_terminal=yes
while IFS= read -r line; do
  [[ "$line" =~ ^\[\ *([0-9]+)%\] ]] || continue
  percent="${BASH_REMATCH[1]}"
  if [ -n "$on_terminal" ]; then
    printf '\r== build %3d%%' "$percent"
  elif ((percent / 10 > shown)); then
    shown=$((percent / 10))
    echo "== build $percent%"
  fi
done
[ -z "$on_terminal" ] || echo
exit 0
