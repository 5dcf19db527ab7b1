#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages from the committed tree into a directory:
#   package.sh OUTDIR
# The build happens in a temporary copy, so the work tree stays clean.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/pwexpiry"
# The tree as it is now, committed or not, without build directories.
(cd "$top" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/pwexpiry")
(cd "$work/pwexpiry" && dpkg-buildpackage -b -us -uc -j"$(nproc)")
mv "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out"/
ls "$out"
