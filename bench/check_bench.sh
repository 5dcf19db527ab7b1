#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Times pwexpiry-notifier --check on the stock policy files (the machine's
# login.defs and useradd, the shipped settings file) against --info on the
# same files, in the sandbox's private /etc. Both read the same three files;
# --check also runs the reader once more to confirm its verdict. Prints the
# median and mean of each and their ratio; with hyperfine installed, its
# figures as well.
#   bench/check_bench.sh [PATH-TO-pwexpiry-notifier] [RUNS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/system/sandbox.sh" || exit 1
sandbox_enter "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "${1:-$top/build/bin/pwexpiry-notifier}")
RUNS=${2:-101}

mkdir -p /etc/password-expiration-policy
cp "$top/data/config.ini" /etc/password-expiration-policy/config.ini

# Both must succeed silently before they are timed.
for mode in --check --info; do
    out=$("$NOTIFIER" $mode 2>&1)
    rc=$?
    if [ $rc != 0 ] || { [ $mode = --check ] && [ -n "$out" ]; }; then
        echo "FAIL: $mode on the stock files: status $rc, output: $out"
        exit 1
    fi
done

# One run's time in microseconds.
time_of() {
    local start end
    start=$(date +%s%N)
    "$NOTIFIER" "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
median() {
    sort -n | sed -n "$(((RUNS + 1) / 2))p"
}
mean() {
    awk '{ s += $1 } END { printf "%d", s / NR }'
}

# Warm the page cache and the dynamic loader first; then the two take turns,
# so that the load of a shared machine falls on both alike.
for i in $(seq 5); do
    time_of --check >/dev/null
    time_of --info >/dev/null
done
: >"$SANDBOX/check.times"
: >"$SANDBOX/info.times"
for i in $(seq "$RUNS"); do
    time_of --check >>"$SANDBOX/check.times"
    time_of --info >>"$SANDBOX/info.times"
done
check_median=$(median <"$SANDBOX/check.times")
info_median=$(median <"$SANDBOX/info.times")
printf '%-8s median %6d us, mean %6d us (%d runs)\n' --check "$check_median" "$(mean <"$SANDBOX/check.times")" "$RUNS"
printf '%-8s median %6d us, mean %6d us (%d runs)\n' --info "$info_median" "$(mean <"$SANDBOX/info.times")" "$RUNS"
awk -v c="$check_median" -v i="$info_median" 'BEGIN { printf "ratio    --check / --info = %.2f\n", c / i }'

if command -v hyperfine >/dev/null 2>&1; then
    hyperfine --warmup 5 --runs "$RUNS" -N "$NOTIFIER --check" "$NOTIFIER --info"
fi
exit 0
