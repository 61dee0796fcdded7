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
