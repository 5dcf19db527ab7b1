#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What reading the policy costs when a policy file is huge: `pwexpiry-notifier
# --info` with each policy file in turn replaced by a 100 MB file, against
# the machine's ordinary files. Prints the median wall time and the largest
# resident set of each case. In a sandbox, as root:
#   bench/oversized_files_bench.sh [PATH-TO-pwexpiry-notifier] [RUNS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/system/sandbox.sh" || exit 1
sandbox_enter "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "${1:-$top/build/bin/pwexpiry-notifier}")
RUNS=${2:-11}

printf 'PASS_MAX_DAYS\t90\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings true false 14
for f in /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini; do
    cp "$f" "$f.ordinary"
done

# One case: prints the median time, the largest resident set, and the last
# run's exit status and first line of output.
measure() {
    local i times=() peak=0 out
    for i in $(seq "$RUNS"); do
        out=$(/usr/bin/time -f '%e %M' -o "$SANDBOX/time" "$NOTIFIER" --info 2>&1)
        rc=$?
        read -r secs kib < <(tail -n 1 "$SANDBOX/time")
        times+=("$(awk -v s="$secs" 'BEGIN {printf "%d", s * 1000}')")
        [ "$kib" -gt "$peak" ] && peak=$kib
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
    printf '%5s ms %8s KiB  exit %s %s\n' "$median" "$peak" "$rc" "$(head -n 1 <<<"$out")"
}

printf '%-32s' "ordinary files"
measure
for f in /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini; do
    # 100 MB of comment lines, then the keys: everything a reader would need
    # is at the end.
    { yes '# padding padding padding padding padding padding padding padding padding' | head -c 100000000; cat "$f.ordinary"; } >"$f"
    printf '%-32s' "100 MB $(basename "$f")"
    measure
    cp "$f.ordinary" "$f"
done
