#!/usr/bin/env bash
# Writes the template of geodem's messages, extracted from the code, to OUT.pot:
#   po/extract.sh OUT.pot
# Updating a translation after the code changed: po/extract.sh /tmp/geodem.pot &&
#   msgmerge --update --no-location --no-fuzzy-matching po/zh_CN.po /tmp/geodem.pot
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# The command and the libraries it shares with the GDAL driver (English there).
mapfile -t sources < <(find apps/geodem rastersource messages gridfile -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=NC_:1c,2 --flag=NC_:2:c-format --keyword=Tr \
  --flag=Tr:1:c-format --flag=N_:1:c-format --no-location --sort-output --package-name=geodem \
  -o "$1" "${sources[@]}"
# The QGIS plugin's own texts join the same catalogue, which it reads in QGIS's language.
mapfile -t plugin < <(find qgis -name '*.py' | LC_ALL=C sort)
xgettext --language=Python --from-code=UTF-8 --keyword=_ --keyword=N_ --join-existing \
  --no-location --sort-output --package-name=geodem -o "$1" "${plugin[@]}"
