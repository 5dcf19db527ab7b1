#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages and checks them with lintian. How they install,
# work, remove and purge is tested in a booted machine
# (autotests/machine/package_lifecycle_test.sh), never on this one.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d /tmp/pwexpiry-debs.XXXXXX)
chmod 755 "$out"
passed=0
failed=0

check() {
    local desc=$1
    shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1))
        echo "PASS: $desc"
    else
        failed=$((failed + 1))
        echo "FAIL: $desc"
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    rm -rf "$out"
    [ "$failed" -eq 0 ]
    exit $?
}

bash "$top/scripts/package.sh" "$out" || { echo "FAIL: the packages did not build"; exit 1; }

echo "== lintian"
lintian --fail-on error --display-info "$out"/*.changes
check "lintian reports no errors" test "${PIPESTATUS[0]}" -eq 0

finish
