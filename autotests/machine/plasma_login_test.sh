#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The reminder at login in a real Plasma X11 session, in a booted machine
# that has dunst installed too, with its D-Bus activation file, as a desktop
# machine may well have. A display manager's login is staged as one happens:
# the X server a system service, then a PAM login running startplasma-x11.
# Everything is observed from outside: the Notify calls on the user's bus and
# who owns the notification service's name (recorded from before the desktop
# starts), which processes run, which windows Plasma shows.
#
#   plasma_login_test.sh DEBDIR SUITE SCREENSHOTDIR
# Screenshots: SCREENSHOTDIR/machine-SUITE-plasma-CASE.png. With Plasma 6
# (not on Debian 12) a last login is one of Plasma's Wayland session.
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2 SHOTS=$3

MACHINE_KEEP_DUNST_ACTIVATION=1 machine_start "$DEBS" "$SUITE" plasma
machine_useradd alice
machine_age_password alice 5

DUNST_ACTIVATION=/usr/share/dbus-1/services/org.knopwob.dunst.service
# Plasma's activation file for the name: its program only waits for
# plasmashell to take the name.
PLASMA_ACTIVATION=$(machine_sh 'grep -slx "Name=org.freedesktop.Notifications" /usr/share/dbus-1/services/*.service |
    grep -vxF "$1"' "$DUNST_ACTIVATION")
echo "Plasma's activation file: ${PLASMA_ACTIVATION:-none}"
machine_run cat "$PLASMA_ACTIVATION" 2>/dev/null | sed 's/^/    /'
expect_eq "dunst's activation file is installed" yes "$(machine_run test -f "$DUNST_ACTIVATION" && echo yes)"
expect_eq "Plasma has one activation file of its own for the notification service" 1 \
    "$(printf '%s' "$PLASMA_ACTIVATION" | grep -c .)"
PLASMA_ACTIVATION_SUM=$(machine_run sha256sum "$PLASMA_ACTIVATION")
PLASMA_WAITER=$(machine_run sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$PLASMA_ACTIVATION")
expect_eq "its program is there" yes "$(machine_run test -x "$PLASMA_WAITER" && echo yes)"

REMINDER="Password Expiry|The password expires in 5 days!|2|1337"

# Our reminders on the bus in the last login: "summary|body|urgency|replaces_id".
reminders() {
    machine_plasma_notify_calls alice | cut -d'|' -f2- | grep '^Password Expiry|'
}

# The notification popups Plasma shows now: plasmashell's mapped windows of
# the window type "notification" (a critical one is also of KDE's type
# "critical notification"), one id a line.
plasma_popups() {
    machine_plasma_on_display sh -c '
        for w in $(xdotool search --onlyvisible --class plasmashell 2>/dev/null); do
            xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q "_NET_WM_WINDOW_TYPE_NOTIFICATION" && echo "$w"
        done'
}

# Plasma's panel: plasmashell's mapped dock windows, one id a line.
plasma_panels() {
    machine_plasma_on_display sh -c '
        for w in $(xdotool search --onlyvisible --class plasmashell 2>/dev/null); do
            xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q "= _NET_WM_WINDOW_TYPE_DOCK" && echo "$w"
        done'
}

# Waits for plasmashell to take the notification service's name, for at most
# 40 s, or 5 s after another program took it (plasmashell does not queue for
# the name; it then stays without it).
wait_for_shell() {
    local deadline=$(($(date +%s) + 40)) other=
    until [ -n "$(machine_plasma_owner_time alice)" ]; do
        if [ -z "$other" ] && [ -n "$(machine_plasma_owners alice | awk -F'|' '$2 != "" && $4 != "plasmashell"')" ]; then
            other=1
            deadline=$(($(date +%s) + 5))
        fi
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# The notification popups of plasmashell in a Wayland session, as KWin
# lists its windows: one line each.
plasma_wayland_popups() {
    machine_plasma_kwin_windows alice | awk -F'|' '$1 ~ /plasmashell$/ && ($3 == "true" || $4 == "true")'
}

# One Plasma login of alice, checked from outside, its screenshot kept as
# SHOTS/machine-SUITE-plasma-CASE.png: plasma_case CASE DESCRIPTION [OPTION...]
#   early    a notification of another program is sent as soon as the
#            session's bus is there, long before plasmashell: Plasma's
#            activation holds it until plasmashell has the name, which then
#            shows it beside ours
#   wayland  a Wayland session, not X11: the popups as KWin lists its windows;
#            there is no screenshot (KWin's screenshot interface comes with
#            OpenGL compositing only, and a machine has no GPU)
plasma_case() {
    local case=$1 desc=$2 early= early_pid= wayland= start shell notified deadline popups=1 option
    shift 2
    for option in "$@"; do
        case $option in
        early) early=1 ;;
        wayland) wayland=1 ;;
        esac
    done
    start=$(date +%s%N)
    if [ -n "$wayland" ]; then
        machine_plasma_wayland_login alice || machine_fail "$desc: alice could not log in"
        popups_now() { plasma_wayland_popups; }
    else
        machine_plasma_login alice 1 || machine_fail "$desc: alice could not log in"
        popups_now() { plasma_popups; }
    fi
    if [ -n "$early" ]; then
        popups=2
        machine_as_user alice notify-send -u critical "Early bird" "Sent before the shell" &
        early_pid=$!
    fi
    wait_for_shell
    shell=$(machine_plasma_owner_time alice)
    expect_match "$desc: plasmashell owns org.freedesktop.Notifications" '^[0-9]+$' "$shell"
    [ -z "$shell" ] || echo "$desc: plasmashell took the name $(((shell - start) / 1000000)) ms after the login began"
    deadline=$(($(date +%s) + 30))
    until [ -n "$(reminders)" ] || [ "$(date +%s)" -ge "$deadline" ]; do sleep 0.2; done
    notified=$(machine_plasma_notify_times alice | awk -F'|' '$4 == "Password Expiry" {print $1; exit}')
    [ -z "$notified" ] || echo "$desc: our Notify call came $(((notified - start) / 1000000)) ms after the login began"
    # Plasma draws the reminder as a popup window of its own; without the
    # name it shows nothing, and there is nothing to wait for.
    if [ -n "$shell" ] && [ -n "$notified" ]; then
        deadline=$(($(date +%s) + 15))
        until [ "$(popups_now | grep -c .)" -ge "$popups" ] || [ "$(date +%s)" -ge "$deadline" ]; do sleep 0.5; done
    fi
    if [ -n "$wayland" ]; then
        echo "$desc: the windows KWin manages (class|caption|notification|critical|geometry):"
        machine_plasma_kwin_windows alice | sed 's/^/    /'
    else
        # The desktop is whole once its panel is there.
        deadline=$(($(date +%s) + 15))
        until [ -n "$(plasma_panels)" ] || [ "$(date +%s)" -ge "$deadline" ]; do sleep 0.2; done
        machine_plasma_screenshot "machine-$SUITE-plasma-$case" "$SHOTS"
        expect_eq "$desc: Plasma's panel is up" 1 "$(plasma_panels | grep -c .)"
    fi
    expect_eq "$desc: Plasma shows $popups notification popup(s)" "$popups" "$(popups_now | grep -c .)"
    if [ -n "$early" ]; then
        # A message that waits for the name is recorded when it is delivered;
        # the bus logs when it asked for the name to be started, and for whom.
        local sender
        sender=$(machine_plasma_notify_times alice | awk -F'|' '$4 == "Early bird" {print $2; exit}')
        expect_eq "$desc: the early notification asked for the name before plasmashell had it, through Plasma's file" yes \
            "$(machine_plasma_activations alice | awk -F'|' -v s="$sender" -v shell="${shell:-0}" '$2 == s && $3 == "" && $1 < shell {print "yes"; exit}')"
        wait "$early_pid"
        expect_eq "$desc: and was delivered once plasmashell had it (notify-send's status)" 0 "$?"
    fi
    # Nothing more comes of this login.
    sleep 2
    expect_eq "$desc: one reminder reaches the bus" "$REMINDER" "$(reminders)"
    echo "$desc: the Notify calls on alice's bus:"
    machine_plasma_notify_calls alice | sed 's/^/    /'
    echo "$desc: the owners of org.freedesktop.Notifications (time|name|pid|command|unit):"
    machine_plasma_owners alice | sed 's/^/    /'
    echo "$desc: starts of the notification service on demand (time|sender|unit):"
    machine_plasma_activations alice | sed 's/^/    /'
    expect_eq "$desc: the name had no owner but plasmashell" plasmashell \
        "$(machine_plasma_owners alice | cut -d'|' -f4 | grep . | sort -u | paste -sd' ')"
    expect_eq "$desc: dunst is never started" "" "$(machine_run pgrep -a -x dunst)"
    expect_eq "$desc: dunst's unit never started" "" \
        "$(machine_as_user alice systemctl --user show -p InvocationID --value dunst.service)"
    machine_plasma_logout || machine_fail "$desc: alice's session did not end"
}

plasma_case reminder "first login"
plasma_case relogin "a new login"

# Without dunst's file, Plasma's own one is what a Notify before plasmashell
# meets on the bus.
machine_run rm -f "$DUNST_ACTIVATION"
plasma_case activation "Plasma's activation file alone" early
expect_eq "Plasma's activation file is still in place, unchanged" "$PLASMA_ACTIVATION_SUM" \
    "$(machine_run sha256sum "$PLASMA_ACTIVATION")"

# Plasma 6's own session: Wayland, KWin the compositor. Debian 12's Plasma 5
# is tested in its X11 session only.
if [ "$SUITE" = bookworm ]; then
    echo "no Wayland session on $SUITE"
else
    plasma_case wayland "a Wayland session" wayland
fi

machine_finish
