#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages for the release this machine runs (Qt 5 and KDE
# Frameworks 5 on Debian 12, Qt 6 and KF6 on Debian 13) into a directory:
#   package.sh OUTDIR
# The build happens in a temporary copy, so the work tree stays clean.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/pwexpiry"
# The tree as it is now, committed or not, without build directories; a
# copy of the tree without its git data (as in the root of another release)
# is taken whole, but for its build directories.
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$top" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/pwexpiry")
else
    (cd "$top" && find . -mindepth 1 -maxdepth 1 ! -name 'build' ! -name 'build-*' -print0 | xargs -0 cp -a -t "$work/pwexpiry")
fi
(cd "$work/pwexpiry" && dpkg-buildpackage -b -us -uc -j"$(nproc)")
mv "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out"/
ls "$out"
