#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs stages of the test command in a root of another Debian release, built
# for the given major version of Qt and KDE Frameworks:
#   release_tests.sh SUITE QT_MAJOR_VERSION STAGE...
#   release_tests.sh trixie 6 tests sanitizer
# See machine_in_release in machine.sh for the root and the copy of the tree.
. "$(dirname "$0")/machine.sh" || exit 1
if [ $# -lt 3 ]; then
    echo "usage: $0 SUITE QT_MAJOR_VERSION STAGE..." >&2
    exit 2
fi
suite=$1 qt=$2
shift 2

machine_require
machine_in_release "$suite" --setenv=QT_MAJOR_VERSION="$qt" -- /bin/bash scripts/test.sh "$@"
