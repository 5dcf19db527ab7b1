#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Reminders at login in a booted Debian machine: for each way a desktop comes
# up, LOGINS graphical logins of fresh users, each timed from the moment the
# session and its notification service are both up to the reminder on the
# screen (dunst showing it). Prints every time, then median and maximum.
#   at-once  the notification service is there with the session, the
#            autostart entries follow
#   late     the notification service comes 12 s after the login, the
#            autostart entries follow
# As root:
#   bench/login_latency.sh DEBDIR [SUITE] [LOGINS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=${2:-bookworm} LOGINS=${3:-10}

machine_start "$DEBS" "$SUITE" >/dev/null
machine_sh 'mkdir -p /etc/systemd/user && printf "%s\n" "[Unit]" "Description=A desktop session as the benchmark stages it" \
    "BindsTo=graphical-session.target" "Wants=xdg-desktop-autostart.target" >/etc/systemd/user/pwexpiry-test-desktop.target'

# One login: prints the milliseconds from "both up" to the reminder shown.
one_login() {
    local user=$1 order=$2 uid
    machine_useradd "$user"
    machine_age_password "$user" 5
    uid=$(machine_run id -u "$user")
    machine_login "$user" x11 seat0 >/dev/null || return 1
    machine_display "$user" 1 || return 1
    machine_as_user "$user" systemctl --user set-environment XDG_SESSION_TYPE=x11 DISPLAY=:1
    [ "$order" = late ] && sleep 12
    # From here on inside the machine: dunst comes up, the desktop's autostart
    # entries follow, and the screen is watched.
    machine_sh '
        user=$1 uid=$2
        as_user() { runuser -u "$user" -- env XDG_RUNTIME_DIR=/run/user/$uid DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$uid/bus "$@"; }
        as_user systemd-run --user --quiet --unit=bench-dunst -E DISPLAY=:1 /usr/bin/dunst
        until as_user dunstctl is-paused >/dev/null 2>&1; do sleep 0.01; done
        up=$(date +%s%N)
        as_user systemctl --user start pwexpiry-test-desktop.target
        for _ in $(seq 2000); do
            [ "$(as_user dunstctl count displayed 2>/dev/null)" -ge 1 ] 2>/dev/null && break
            sleep 0.01
        done
        echo $((($(date +%s%N) - up) / 1000000))' "$user" "$uid"
    machine_logout "$SESSION_UNIT"
    machine_run loginctl terminate-user "$user"
}

stats() {
    sort -n | awk '{a[NR] = $1} END {m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2; printf "median %d ms, maximum %d ms over %d logins\n", m, a[NR], NR}'
}

n=0
for order in at-once late; do
    times=()
    for i in $(seq "$LOGINS"); do
        n=$((n + 1))
        t=$(one_login "user$n" "$order") || { echo "login $n ($order) failed"; exit 1; }
        times+=("$t")
    done
    echo "$order: ${times[*]} ms"
    echo "$order: $(printf '%s\n' "${times[@]}" | stats)"
done
