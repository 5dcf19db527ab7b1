#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Extracts the translatable texts the way KDE's translation tooling does: the
# Messages.sh of each directory runs there with $EXTRACTRC, $XGETTEXT and
# $podir set, and writes the template of its translation domain.
#   scripts/messages.sh           writes po/*.pot and merges po/<lang>/*.po
#   scripts/messages.sh --check   fails when po/ is not what the sources give
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
check=false
[ "${1:-}" = --check ] && check=true

# The keywords of KDE's extraction (KI18n's calls, with and without domain).
XGETTEXT="xgettext --from-code=UTF-8 -C --kde -ci18n --no-wrap --sort-by-file \
 --package-name=pwexpiry --msgid-bugs-address=https://bugs.invalid/pwexpiry \
 -ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3 \
 -ki18nd:2 -ki18ndc:2c,3 -ki18ndp:2,3 -ki18ndcp:2c,3,4 \
 -kki18n:1 -kki18nc:1c,2 -kki18np:1,2 -kki18ncp:1c,2,3 \
 -kki18nd:2 -kki18ndc:2c,3 -kki18ndp:2,3 -kki18ndcp:2c,3,4 \
 -kxi18n:1 -kxi18nc:1c,2 -kxi18np:1,2 -kxi18ncp:1c,2,3 \
 -kxi18nd:2 -kxi18ndc:2c,3 -kxi18ndp:2,3 -kxi18ndcp:2c,3,4 \
 -kkli18n:1 -kkli18nc:1c,2 -kkli18np:1,2 -kkli18ncp:1c,2,3 \
 -ktr2i18n:1 -ktr2i18nd:2 -ktr2xi18n:1"
EXTRACTRC="$top/scripts/extractrc"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/po"
export XGETTEXT EXTRACTRC

# Paths in the templates are made relative to the top of the tree, not to
# the directory each Messages.sh ran in.
while IFS= read -r -d '' script; do
    dir=$(dirname "$script")
    export podir=$work/new
    rm -rf "$podir" && mkdir "$podir"
    (cd "$dir" && bash ./Messages.sh) || {
        echo "messages: $script failed" >&2
        exit 1
    }
    for pot in "$podir"/*.pot; do
        [ -f "$pot" ] || continue
        # A form's text is found in rc.cpp: its reference becomes the form
        # and line that extractrc noted above the call.
        awk -v dir="$dir" '
            /^#\. i18n: file: / { sub(/^#\. i18n: file: /, "#. i18n: file: " dir "/"); forms[++n] = substr($0, 16) }
            /^#: / {
                line = "#:"
                for (i = 2; i <= NF; i++)
                    line = line " " ($i ~ /^rc\.cpp:/ ? forms[++used] : dir "/" $i)
                $0 = line
                n = used = 0
            }
            { print }' "$pot" >"$work/po/$(basename "$pot")"
    done
done < <(find . -path './build*' -prune -o -name Messages.sh -printf '%P\0' | sort -z)
podir=$work/po

if ! $check; then
    cp "$podir"/*.pot po/
    for lang_dir in po/*/; do
        for pot in po/*.pot; do
            po=$lang_dir$(basename "$pot" .pot).po
            [ -f "$po" ] && msgmerge --quiet --update --backup=none --no-wrap "$po" "$pot"
        done
    done
    echo "templates written: $(cd "$podir" && echo *.pot)"
    exit 0
fi

# Only the messages count: the creation date changes with every run.
status=0
strip() { msgcat --no-wrap --sort-output "$1" | grep -v '^"POT-Creation-Date: '; }
for pot in "$podir"/*.pot; do
    if ! diff -u <(strip "po/$(basename "$pot")") <(strip "$pot"); then
        echo "messages: po/$(basename "$pot") is out of date: run scripts/messages.sh" >&2
        status=1
    fi
done
for pot in po/*.pot; do
    [ -f "$podir/$(basename "$pot")" ] || { echo "messages: po/$(basename "$pot") has no Messages.sh" >&2; status=1; }
    for po in po/*/"$(basename "$pot" .pot)".po; do
        [ -f "$po" ] || continue
        msgmerge --quiet --no-wrap -o "$work/merged.po" "$po" "$pot"
        if ! diff -u <(strip "$po") <(strip "$work/merged.po"); then
            echo "messages: $po is not merged with its template: run scripts/messages.sh" >&2
            status=1
        fi
    done
done
[ $status = 0 ] && echo "messages: po/ matches the sources"
exit $status
