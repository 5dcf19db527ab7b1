#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Reminders at login in a real Plasma X11 session (the package set plasma,
# dunst's activation file left installed): LOGINS logins, each of a fresh
# user whose password expires in 5 days, each timed on the user's session bus
# from the moment plasmashell takes org.freedesktop.Notifications to our
# Notify call. Prints every time, then median and maximum. A negative time
# is a Notify sent before plasmashell had the name; a login where plasmashell
# never got the name (another owner took it) shows as "none" and is left out
# of the figures. As root:
#   bench/plasma_login_latency.sh DEBDIR [SUITE] [LOGINS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=${2:-bookworm} LOGINS=${3:-10}

MACHINE_KEEP_DUNST_ACTIVATION=1 machine_start "$DEBS" "$SUITE" plasma >/dev/null

# One login: prints the milliseconds from plasmashell owning the name to our
# Notify call, "none" when either did not happen within 60 s.
one_login() {
    local user=$1 shell notified deadline
    machine_useradd "$user"
    machine_age_password "$user" 5
    machine_plasma_login "$user" 1 >/dev/null || return 1
    deadline=$(($(date +%s) + 60))
    while :; do
        shell=$(machine_plasma_owner_time "$user")
        notified=$(machine_plasma_notify_times "$user" | awk -F'|' '$3 == "Password Expiry" {print $1; exit}')
        [ -n "$shell" ] && [ -n "$notified" ] && break
        [ "$(date +%s)" -lt "$deadline" ] || break
        sleep 0.2
    done
    if [ -n "$shell" ] && [ -n "$notified" ]; then
        echo $(((notified - shell) / 1000000))
    else
        echo none
    fi
    machine_plasma_logout >/dev/null || return 1
}

stats() {
    sort -n | awk '{a[NR] = $1} END {if (!NR) {print "no timed logins"; exit}
        m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
        printf "median %d ms, maximum %d ms over %d logins\n", m, a[NR], NR}'
}

times=()
for i in $(seq "$LOGINS"); do
    t=$(one_login "user$i") || { echo "login $i failed"; exit 1; }
    times+=("$t")
done
echo "$SUITE, plasmashell owning the name to our Notify call: ${times[*]} ms"
echo "$SUITE: $(printf '%s\n' "${times[@]}" | grep -v '^none$' | stats)"
