# Timing helpers of the benchmark scripts, sourced by them; `timed` writes the command's stderr
# to "$work/stderr" and shows it when the command fails.
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
# Seconds a command takes, started with the page cache's earlier writes on disk so that one run
# does not pay for the last one's.
timed() {
  local start
  sync
  start="$(now)"
  "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; return 1; }
  calc "$(now) - $start"
}
# Processor seconds (user and system) a command and the processes it waited for take: on a
# machine others share, a figure that their load does not stretch, unlike the clock's.
cputimed() {
  /usr/bin/time -f '%U %S' -o "$work/cputime" "$@" >/dev/null 2>"$work/stderr" \
    || { cat "$work/stderr" >&2; return 1; }
  awk '{ print $1 + $2 }' "$work/cputime"
}
# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# floor_of durable|cached SOURCE OUTPUT: the floor of a conversion, reading SOURCE once and
# writing a file as large as OUTPUT in 4 MiB pieces; "durable" flushes it to disk, as geodem and
# the driver flush the grid file before it takes its name, "cached" leaves it in the page cache.
# The file stays at $work/floor.out, for the caller to remove outside the timing as an output.
floor_of() {
  local flush=()
  [ "$1" = durable ] && flush=(conv=fsync)
  dd if="$2" of=/dev/null bs=4M status=none
  dd if=/dev/zero of="$work/floor.out" bs=4M count="$(( ($(stat -c %s "$3") + 4194303) / 4194304 ))" \
    status=none "${flush[@]}"
}
