#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Reminders at login in a real Plasma X11 session (the package set plasma,
# dunst's activation file left installed): LOGINS logins, each of a fresh
# user whose password expires in 5 days, each timed on the user's session bus
# from the moment plasmashell takes org.freedesktop.Notifications to our
# Notify call reaching it. Prints every time, then median and maximum. A
# Notify sent while nobody owned the name waits for the bus to start the
# service and reaches plasmashell only once it has the name: such logins say
# so. A login where plasmashell never got the name (another owner took it)
# shows as "none" and is left out of the figures. With "no-dunst" last,
# dunst's activation file is removed first, as on a machine without dunst.
# As root:
#   bench/plasma_login_latency.sh DEBDIR [SUITE] [LOGINS] [no-dunst]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=${2:-bookworm} LOGINS=${3:-10} DUNST=${4:-dunst}

MACHINE_KEEP_DUNST_ACTIVATION=1 machine_start "$DEBS" "$SUITE" plasma >/dev/null
[ "$DUNST" != no-dunst ] || machine_no_dunst_activation

# One login: prints the milliseconds from plasmashell owning the name to our
# Notify call reaching it, "none" when either did not happen within 60 s;
# then, when our call had asked the bus to start the notification service
# (it was sent while nobody owned the name, and waited), how many
# milliseconds before plasmashell took the name it was sent.
one_login() {
    local user=$1 shell notified sender requested deadline
    machine_useradd "$user"
    machine_age_password "$user" 5
    machine_plasma_login "$user" 1 >/dev/null || return 1
    # plasmashell does not queue for the name: once another program has it
    # and our call is in, there is nothing more to wait for.
    deadline=$(($(date +%s) + 60))
    while :; do
        shell=$(machine_plasma_owner_time "$user")
        notified=$(machine_plasma_notify_times "$user" | awk -F'|' '$4 == "Password Expiry" {print $1 "|" $2; exit}')
        [ -n "$shell" ] && [ -n "$notified" ] && break
        [ "$(date +%s)" -lt "$deadline" ] || break
        if [ -n "$notified" ] && [ -n "$(machine_plasma_owners "$user" | awk -F'|' '$2 != "" && $4 != "plasmashell"')" ]; then
            break
        fi
        sleep 0.2
    done
    sender=${notified#*|} notified=${notified%%|*}
    requested=
    [ -z "$sender" ] || requested=$(machine_plasma_activations "$user" | awk -F'|' -v s="$sender" '$2 == s {print $1; exit}')
    if [ -n "$shell" ] && [ -n "$notified" ]; then
        echo "$(((notified - shell) / 1000000)) ${requested:+$(((shell - requested) / 1000000))}"
    else
        echo "none $(machine_plasma_owners "$user" | awk -F'|' '$4 != "" {print $4 "(" $5 ")"}' | paste -sd, -)"
    fi
    machine_plasma_logout >/dev/null || { machine_run loginctl --no-pager list-sessions >&2; return 1; }
}

stats() {
    sort -n | awk '{a[NR] = $1} END {if (!NR) {print "no timed logins"; exit}
        m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
        printf "median %d ms, maximum %d ms over %d logins\n", m, a[NR], NR}'
}

times=() waited=()
for i in $(seq "$LOGINS"); do
    out=$(one_login "user$i") || { echo "login $i failed"; exit 1; }
    read -r t w <<<"$out"
    if [ "$t" = none ]; then
        echo "login $i: none, the name was taken by ${w:-nobody}"
    else
        echo "login $i: $t ms${w:+ (our Notify had been sent $w ms before plasmashell took the name, and waited)}"
        [ -z "$w" ] || waited+=("$w")
    fi
    times+=("$t")
done
echo "$SUITE ($DUNST), plasmashell owning the name to our Notify call reaching it: ${times[*]} ms"
echo "$SUITE ($DUNST): $(printf '%s\n' "${times[@]}" | grep -v '^none$' | stats)"
echo "$SUITE ($DUNST): our Notify was sent before plasmashell had the name and waited for it in ${#waited[@]} of $LOGINS logins"
