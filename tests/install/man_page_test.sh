#!/usr/bin/env bash
# The man page renders, and names every subcommand and every option that `geodem --help` and each
# subcommand's --help list in the caller's language, so the two cannot drift apart; a failure says
# which one is missing.
#   man_page_test.sh GEODEM MAN_PAGE_SOURCE
set -uo pipefail
geodem="$1"
page="$2"

# The page as plain words: troff's escaped minus signs become plain ones.
text="$(sed 's/\\-/-/g' "$page")"
status=0
missing() {
  echo "FAIL: $(basename "$page") does not describe $1 (listed by $2)"
  status=1
}
# The option names of a help text: the comma-separated names that open its option lines.
options_of() {
  sed -n 's/^ \{1,\}\(-[-A-Za-z0-9_,]*\).*/\1/p' <<<"$1" | tr ',' '\n' | grep '^-'
}
# The subcommands of the top-level help text: the first word of each line under "Subcommands:"
# (in Chinese "子命令:").
subcommands_of() {
  sed -n '/^\([Ss]ubcommands\|子命令\):/,/^$/{/^ \{1,\}[a-z]/{s/^ *\([a-z][-a-z0-9]*\).*/\1/p}}' <<<"$1"
}
has_word() {
  grep -qE -- "(^|[^-A-Za-z0-9_])$1([^-A-Za-z0-9_]|\$)" <<<"$text"
}

rendered="$(MANWIDTH=80 man -l "$page" 2>/dev/null)" || { echo "FAIL: man -l $page failed"; exit 1; }
help="$("$geodem" --help)" || { echo "FAIL: geodem --help failed"; exit 1; }
subcommands="$(subcommands_of "$help")"
[ -n "$subcommands" ] || { echo "FAIL: no subcommands found in geodem --help:"; echo "$help"; exit 1; }
for option in $(options_of "$help"); do
  has_word "$option" || missing "the option $option of geodem" "geodem --help"
done
for sub in $subcommands; do
  grep -qE "^\.SS \"?geodem $sub( |\"|\$)" <<<"$text" ||
    missing "the subcommand 'geodem $sub' (a section .SS \"geodem $sub ...\")" "geodem --help"
  grep -qE "^ {3,}geodem $sub( |\$)" <<<"$rendered" ||
    missing "the section of 'geodem $sub' in what man -l renders" "geodem --help"
  subhelp="$("$geodem" "$sub" --help)" || { missing "geodem $sub --help" "geodem --help"; continue; }
  # The options of a subcommand are looked for in its own section.
  section="$(awk -v want="geodem $sub" '
    /^\.SS / { s = $0; gsub(/"/, "", s); inside = (index(s, ".SS " want) == 1) &&
               (length(s) == length(".SS " want) || substr(s, length(".SS " want) + 1, 1) == " ") }
    /^\.SH / { inside = 0 }
    inside' <<<"$text")"
  for option in $(options_of "$subhelp"); do
    case "$option" in -h|--help) continue ;; esac
    grep -qE -- "(^|[^-A-Za-z0-9_])$option([^-A-Za-z0-9_]|\$)" <<<"$section" ||
      missing "the option $option of 'geodem $sub' (in its section)" "geodem $sub --help"
  done
done
[ $status -eq 0 ] && echo "the man page covers $(wc -w <<<"$subcommands") subcommands and their options"
exit $status
