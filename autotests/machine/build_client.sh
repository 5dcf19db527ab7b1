#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the test client of the privileged save (autotests/saveconfclient.cpp)
# for another Debian release, in a root of that release, and copies it to
# OUTDIR/saveconfclient:
#   build_client.sh OUTDIR SUITE QT_MAJOR_VERSION
# The client is built alone, in build-SUITE/src/build-client of the work tree,
# which stays between runs (see machine_in_release in machine.sh): a second run
# builds only what changed. Skipped where no machine can be booted.
. "$(dirname "$0")/machine.sh" || exit 1
if [ $# -ne 3 ]; then
    echo "usage: $0 OUTDIR SUITE QT_MAJOR_VERSION" >&2
    exit 2
fi
out=$1 suite=$2 qt=$3
machine_require
rm -rf "$out" && mkdir -p "$out" || exit 1
start=$(date +%s)
# Configured once; the build configures again by itself when the CMake files
# changed.
machine_in_release "$suite" --bind="$out:/out" -- /bin/bash -c '
    set -e
    [ -f build-client/build.ninja ] ||
        cmake -S . -B build-client -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DQT_MAJOR_VERSION="$1"
    cmake --build build-client -j "$(nproc)" --target saveconfclient
    cp build-client/bin/saveconfclient /out/
' bash "$qt" >"$out.log" 2>&1 || {
    tail -n 60 "$out.log"
    machine_fail "the client did not build (log: $out.log)"
}
[ -x "$out/saveconfclient" ] || machine_fail "no client in $out"
echo "client built in $(($(date +%s) - start)) s: $out/saveconfclient"
