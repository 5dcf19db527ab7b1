#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds our Debian packages afresh for the machine tests:
#   build_packages.sh DEBDIR [SUITE]
# for this machine's release, or for SUITE in a root of that release.
# Skipped where no machine can be booted, as the tests themselves are.
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
rm -rf "$1" || exit 1
start=$(date +%s)
if [ -n "${2:-}" ] && [ "$2" != "$(. /etc/os-release && echo "$VERSION_CODENAME")" ]; then
    mkdir -p "$1" && machine_in_release "$2" --bind="$1:/debs" -- /bin/bash scripts/package.sh /debs >"$1.log" 2>&1
else
    bash "$(dirname "$0")/../../scripts/package.sh" "$1" >"$1.log" 2>&1
fi || {
    tail -n 60 "$1.log"
    machine_fail "the packages did not build (log: $1.log)"
}
echo "packages built in $(($(date +%s) - start)) s:"
machine_debs "$1"
