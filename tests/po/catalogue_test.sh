#!/usr/bin/env bash
# Every message of the code has a Chinese translation, no translation lost or changed a printf
# directive, and the catalogue holds nothing the code no longer says. A failure lists the messages.
#   catalogue_test.sh SOURCE_DIR
set -uo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/po/extract.sh" "$work/geodem.pot" || { echo "FAIL: xgettext could not extract"; exit 1; }
status=0
for po in "$root"/po/*.po; do
  name="$(basename "$po")"
  # The code's messages with this catalogue's translations; the directives' flags are the code's.
  msgmerge --quiet --no-fuzzy-matching --no-wrap -o "$work/$name" "$po" "$work/geodem.pot" ||
    { echo "FAIL: msgmerge could not read $name"; status=1; continue; }
  untranslated="$(msgattrib --untranslated --no-obsolete --no-wrap "$work/$name" | grep '^msgid "..*"')"
  [ -z "$untranslated" ] || { echo "FAIL: $name has no translation of:"; echo "$untranslated"; status=1; }
  fuzzy="$(msgattrib --only-fuzzy --no-obsolete --no-wrap "$work/$name" | grep '^msgid "..*"')"
  [ -z "$fuzzy" ] || { echo "FAIL: $name marks as unsure (fuzzy) its translation of:"; echo "$fuzzy"; status=1; }
  obsolete="$(msgattrib --only-obsolete --no-wrap "$work/$name" | grep '^#~ msgid "..*"')"
  [ -z "$obsolete" ] || { echo "FAIL: $name translates messages the code no longer has:"; echo "$obsolete"; status=1; }
  msgfmt --check -o /dev/null "$work/$name" || { echo "FAIL: msgfmt --check refuses $name"; status=1; }
done
[ $status -eq 0 ] && echo "every message of the code is translated in $(ls "$root"/po/*.po | wc -l) catalogue(s)"
exit $status
