#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs every fuzz target for a fixed time, two at a time, each from its seed
# corpus (copied, so that the tree stays as it is), and fails on any finding.
#   fuzz.sh FUZZ_BUILD_DIR [SECONDS]
# A finding is kept in FUZZ_BUILD_DIR/findings/<target>/ with the fuzzer's
# output; its input belongs in the unit tables once it is understood.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
work=$(mktemp -d /tmp/pwexpiry-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
findings=$build/findings
rm -rf "$findings"

run_target() {
    local target=$1 build=$2 seconds=$3 work=$4 findings=$5 here=$6
    local corpus=$work/$target
    mkdir -p "$corpus" "$findings/$target"
    cp "$here/corpus/$target"/* "$corpus/" 2>/dev/null
    local log=$work/$target.log
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$target/" "$corpus" >"$log" 2>&1
    local rc=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    if [ "$rc" -eq 0 ]; then
        printf 'PASS: %-24s %10s executions in %s s, corpus %s inputs\n' "$target" "${runs:-?}" "$seconds" "$(ls "$corpus" | wc -l)"
        rm -rf "${findings:?}/$target"
    else
        cp "$log" "$findings/$target/output.log"
        printf 'FAIL: %-24s exit %s after %s executions; input and output in %s\n' "$target" "$rc" "${runs:-?}" "$findings/$target"
        grep -E 'ERROR|property failed|SUMMARY' "$log" | head -n 5 | sed 's/^/      /'
    fi
    return $rc
}
export -f run_target

targets=$(cd "$build/fuzz" && ls fuzz_*)
if [ -z "$targets" ]; then
    echo "FAIL: no fuzz targets in $build/fuzz"
    exit 1
fi
printf '%s\n' $targets | xargs -P 2 -I{} bash -c 'run_target "$@"' _ {} "$build" "$seconds" "$work" "$findings" "$here" |
    tee "$work/results"
rc=${PIPESTATUS[1]}
echo "fuzz: $(grep -c '^PASS:' "$work/results") passed, $(grep -c '^FAIL:' "$work/results") failed"
exit "$rc"
