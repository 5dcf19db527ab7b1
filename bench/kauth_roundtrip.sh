#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Round-trip time of the privileged save through the real KAuth framework, a
# private system bus and polkitd to the installed helper, in the sandbox of
# the system tests (run as root; nothing on the machine changes).
#
#   bench/kauth_roundtrip.sh BUILD_DIR [COUNT]
#
# BUILD_DIR is a build configured with -DCMAKE_INSTALL_PREFIX=/usr. Prints
# the time to set up the bus and polkitd, the saveConf round trips measured
# inside a client process (the first one includes starting the helper), and
# whole `pwexpiry-notifier --set-notify-days` invocations.
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/system/sandbox.sh"
. "$top/autotests/system/kauth.sh"
sandbox_enter "$@"

build=$(cd "$1" && pwd)
count=${2:-50}

start=$(date +%s%N)
kauth_stage "$build"
staged=$(date +%s%N)
kauth_start "$KAUTH_STAGE"
ready=$(date +%s%N)
echo "install into the stage: $(((staged - start) / 1000000)) ms"
echo "private system bus and polkitd ready: $(((ready - staged) / 1000000)) ms"

"$build/bin/saveconfclient" --repeat "$count" -- true false 14 0 99999 7 -1 "" | sed 's/^/saveConf in one client: /'

times=()
for i in $(seq 1 "$count"); do
    t0=$(date +%s%N)
    "$build/bin/pwexpiry-notifier" --set-notify-days $((i % 30 + 1)) || { echo "--set-notify-days failed"; kauth_logs; exit 1; }
    times+=($((($(date +%s%N) - t0) / 1000)))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v n="$count" '
    { t[NR] = $1; sum += $1 }
    END { printf "pwexpiry-notifier --set-notify-days, whole process, %d runs: min %.1f ms, median %.1f ms, mean %.1f ms, max %.1f ms\n",
                 n, t[1] / 1000, t[int((n + 1) / 2)] / 1000, sum / n / 1000, t[n] / 1000 }'
