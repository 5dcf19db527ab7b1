#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Times a whole check run on the happy path (the user's session and bus are
# ready, a reminder is due and is delivered at the first attempt) against a
# floor: a minimal script that runs the same external tools with the same
# arguments (loginctl list-sessions and show-session, sssctl, id,
# runuser/env/notify-send) and nothing else. Both run in the same sandbox with
# a real session bus and notification server. Prints the median of each and
# their ratio.
#   bench/checkrun_bench.sh [PATH-TO-pwexpiry-notifier] [RUNS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/system/sandbox.sh" || exit 1
. "$top/autotests/system/notify.sh" || exit 1
sandbox_enter --net "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "${1:-$top/build/bin/pwexpiry-notifier}")
RUNS=${2:-31}

printf 'PASS_MAX_DAYS\t90\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings true false 14
sandbox_useradd bench
chage -d "$(date -d '-87 days' +%F)" -M 90 bench
notify_start_session bench || exit 1
# A machine with the directory client that does not know the user.
sandbox_stub /usr/sbin/sssctl <<'STUB'
echo "User $2 not found." >&2
exit 1
STUB
uid=$(id -u bench)

cat >"$SANDBOX/floor.sh" <<EOF2
/usr/bin/loginctl list-sessions --no-legend --no-pager >/dev/null
/usr/bin/loginctl show-session c7 -p Type -p Active --value >/dev/null
/usr/sbin/sssctl user-show bench >/dev/null 2>&1
/usr/bin/id -n -G bench >/dev/null
/usr/sbin/runuser -u bench -- /usr/bin/env DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$uid/bus XDG_RUNTIME_DIR=/run/user/$uid \
    /usr/bin/notify-send -u critical -i dialog-warning -r 1337 "Password Expiry" "The password expires in 3 days!"
EOF2

# Milliseconds (with three decimals) of one run of the command.
time_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo "$(((end - start) / 1000))" | sed -E 's/([0-9]{3})$/.\1/'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# One warm-up run of each, and a check that the check run really reminded.
notify_clear bench
"$NOTIFIER" 2>"$SANDBOX/checkrun.log"
bash "$SANDBOX/floor.sh"
if [ "$(notify_received bench | wc -l)" != 2 ]; then
    echo "the happy path did not deliver both reminders:" >&2
    cat "$SANDBOX/checkrun.log" >&2
    exit 1
fi
if grep -qE 'retry|attempt 2 |failed to process' "$SANDBOX/checkrun.log"; then
    echo "the check run left the happy path:" >&2
    cat "$SANDBOX/checkrun.log" >&2
    exit 1
fi

for i in $(seq "$RUNS"); do
    time_ms "$NOTIFIER" >>"$SANDBOX/checkrun.ms"
    time_ms bash "$SANDBOX/floor.sh" >>"$SANDBOX/floor.ms"
done

checkrun=$(median <"$SANDBOX/checkrun.ms")
floor=$(median <"$SANDBOX/floor.ms")
echo "runs:                        $RUNS each, interleaved"
echo "check run (median):          $checkrun ms"
echo "same tool runs only (median): $floor ms"
echo "ratio:                       $(awk -v a="$checkrun" -v b="$floor" 'BEGIN { printf "%.2f", a / b }') (target <= 1.3)"
