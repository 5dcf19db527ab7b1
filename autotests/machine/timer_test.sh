#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The installed timer in a booted Debian machine: enabled and scheduled by the
# package, and, with an administrator's drop-in for a short interval, firing
# the check run that reminds the logged-in user, again and again.
#
#   timer_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2

machine_start "$DEBS" "$SUITE"

timer_prop() {
    machine_run systemctl show pwexpiry-notifier.timer -p "$1" --value
}

# The timer's monotonic settings as systemd read them, one "OnXUSec=TIME" a line.
intervals() {
    timer_prop TimersMonotonic | sed -n 's/^{ \(On[A-Za-z]*=[^ ]*\) ;.*/\1/p' | sort
}

# --- as the package left it
expect_eq "the package enabled the timer" enabled "$(machine_run systemctl is-enabled pwexpiry-notifier.timer)"
expect_eq "the package started the timer" active "$(machine_run systemctl is-active pwexpiry-notifier.timer)"
expect_eq "the service itself is not enabled" static "$(machine_run systemctl is-enabled pwexpiry-notifier.service)"
expect_eq "systemd read the shipped intervals" \
    "$(printf '%s\n' 'OnBootUSec=2min' 'OnUnitActiveUSec=1d')" "$(intervals)"
# NEXT LEFT LAST PASSED UNIT ACTIVATES; the machine booted moments ago. systemd 252
# (Debian 12) writes "left" after the time left, systemd 257 (Debian 13) not.
expect_match "list-timers: the first run within two minutes of boot, none before" \
    '^[A-Z][a-z]{2} [0-9-]{10} [0-9:]{8} [A-Z]+ (2min|1min [0-9]+s|[0-9]+s)( left)? - - pwexpiry-notifier.timer pwexpiry-notifier.service$' \
    "$(machine_run systemctl list-timers pwexpiry-notifier.timer --no-pager --no-legend)"
expect_eq "not triggered yet" "" "$(timer_prop LastTriggerUSec)"

# --- a user to remind
machine_useradd alice
machine_age_password alice 5
machine_login alice x11 seat0 || machine_fail "alice could not log in"
machine_desktop alice 1 || machine_fail "no desktop for alice"

# --- an administrator's drop-in: soon after boot, then every 3 s. An empty
# assignment to any On...Sec= clears all of the timer's values, so the drop-in
# clears once and then gives both.
machine_sh 'mkdir -p /etc/systemd/system/pwexpiry-notifier.timer.d &&
    printf "%s\n" "[Timer]" "OnBootSec=" "OnBootSec=5s" "OnUnitActiveSec=3s" "AccuracySec=1s" \
        >/etc/systemd/system/pwexpiry-notifier.timer.d/short.conf && systemctl daemon-reload'
expect_eq "the drop-in's intervals" "$(printf '%s\n' 'OnBootUSec=5s' 'OnUnitActiveUSec=3s')" "$(intervals)"

runs() {
    machine_run journalctl -u pwexpiry-notifier.service -o cat --no-pager | grep -c '^\[probe\] picked user: "alice"'
}
machine_wait 30 "two runs started by the timer" \
    sh -c '[ "$(journalctl -u pwexpiry-notifier.service -o cat | grep -c "^\[probe\] picked user: \"alice\"")" -ge 2 ]'
expect_match "the timer fired: LastTriggerUSec set" '^[A-Z][a-z]{2} [0-9-]{10} [0-9:]{8} [A-Z]+$' "$(timer_prop LastTriggerUSec)"
expect_match "the timer started the service at least twice" '^([2-9]|[1-9][0-9]+)$' "$(runs)"
expect_eq "each run ended well" "success 0" \
    "$(machine_run systemctl show pwexpiry-notifier.service -p Result --value) $(machine_run systemctl show pwexpiry-notifier.service -p ExecMainStatus --value)"
expect_contains "the runs' log lines in the journal" '"The password expires in 5 days"' \
    "$(machine_run journalctl -u pwexpiry-notifier.service -o cat --no-pager)"
# Each reminder replaced the one still on the screen: one shown, not a stack.
machine_run systemctl stop pwexpiry-notifier.timer
machine_wait 10 "the last run's end" sh -c '[ "$(systemctl show pwexpiry-notifier.service -p ActiveState --value)" = inactive ]'
expect_eq "one reminder on the screen after all the runs" 1 "$(machine_as_user alice dunstctl count displayed)"
expect_eq "it is the reminder" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"

machine_finish
