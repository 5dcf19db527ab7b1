#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes the cached root of SUITE for our packages in DEBDIR, with the package
# set SET if one is given, or finds it made:
#   root_setup.sh DEBDIR SUITE [SET]
# Then boots it once, so that a root that cannot boot shows here.
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
machine_root_for_debs "$2" "$1" "${3:-}" || machine_fail "no root for $2${3:+ with the set $3}"
echo "root: $MACHINE_ROOT"
machine_boot "$MACHINE_ROOT"
expect_match "the machine runs $2" "^VERSION_CODENAME=$2\$" "$(machine_run cat /etc/os-release)"
machine_finish
