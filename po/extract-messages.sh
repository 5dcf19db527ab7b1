#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Extracts the translatable texts of both translation domains into templates:
#   po/pwexpiry-notifier.pot   the notifier
#   po/kcm_pwexpiry.pot        the settings page, its Designer form included
# Run from anywhere; catalogues under po/<lang>/ are then updated with msgmerge.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

keywords=(-ki18n -ki18nd:2 -ki18ndp:2,3 -kki18nd:2 -kki18ndp:2,3 -ktr2i18nd:2 -ktr2i18nd:2,3c)
common=(--from-code=UTF-8 -C --kde --no-wrap --sort-by-file --package-name=pwexpiry
        --msgid-bugs-address=https://bugs.invalid/pwexpiry "${keywords[@]}")

xgettext "${common[@]}" -o po/pwexpiry-notifier.pot notifier/*.cpp

# The Designer form's texts become i18nd calls in a temporary C++ file with
# their source line references kept.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - kcm/*.ui >"$work/ui_strings.cpp" <<'PY'
import sys
import xml.etree.ElementTree as ET

for path in sys.argv[1:]:
    for element in ET.parse(path).iter('string'):
        if element.get('notr') == 'true' or not element.text:
            continue
        text = element.text.replace('\\', '\\\\').replace('"', '\\"').replace('\n', '\\n')
        print(f'// {path}\ni18nd("kcm_pwexpiry", "{text}");')
# The unit suffix of the day spin boxes is translated where it is shown, from
# a constant in kcm/kcmodule.cpp.
print('// i18n: unit suffix after a number of days\ni18nd("kcm_pwexpiry", " d");')
PY
xgettext "${common[@]}" -o po/kcm_pwexpiry.pot kcm/*.cpp "$work/ui_strings.cpp"
sed -i "s|$work/ui_strings.cpp|kcm/kcmodule.ui|" po/kcm_pwexpiry.pot

for lang_dir in po/*/; do
    for pot in po/*.pot; do
        po="$lang_dir$(basename "$pot" .pot).po"
        [ -f "$po" ] && msgmerge --quiet --update --backup=none --no-wrap "$po" "$pot"
    done
done
echo "templates written: po/pwexpiry-notifier.pot po/kcm_pwexpiry.pot"
