#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Check runs in a booted Debian machine where the reminder cannot be shown or
# the settings cannot be read: the run says why in the journal, and the
# service still ends well, so the timer goes on and nothing shows as failed.
#
#   broken_setup_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2

machine_start "$DEBS" "$SUITE"
machine_useradd alice
machine_age_password alice 5
machine_login alice x11 seat0 || machine_fail "alice could not log in"

expect_unit_ok() {
    expect_run_ok "$1"
    expect_eq "$1: the unit is not failed" inactive "$(machine_run systemctl is-failed pwexpiry-notifier.service)"
}

# --- nothing in alice's session shows notifications
machine_check_run
expect_unit_ok "no notification service"
expect_eq "no notification service: ten attempts" 10 "$(grep -c '^\[notify\] attempt ' <<<"$CHECK_LOG")"
expect_match "no notification service: notify-send's complaint logged" \
    '^\[notify\] stderr: ".*ServiceUnknown: The name org\.freedesktop\.Notifications was not provided' "$CHECK_LOG"
expect_match "no notification service: each attempt failed with code 1" '\[notify\] rc: 1 status: ok' "$CHECK_LOG"
expect_eq "no notification service: the last lines" \
    "$(printf '%s\n' '[notify] all attempts failed' 'PasswordChecker - failed to process local user')" \
    "$(grep -E '^(\[notify\] all|PasswordChecker)' <<<"$CHECK_LOG")"

# --- notify-send removed behind the package manager's back; dunst runs
machine_desktop alice 1 || machine_fail "no desktop for alice"
machine_run dpkg --force-depends -r libnotify-bin >/dev/null 2>&1
expect_eq "libnotify-bin removed" "" "$(machine_run sh -c 'command -v notify-send')"
machine_check_run
expect_unit_ok "notify-send missing"
expect_eq "notify-send missing: the reason, then the failure" \
    "$(printf '%s\n' '[notify] notify-send not found' 'PasswordChecker - failed to process local user')" \
    "$(grep -E '^(\[notify\]|PasswordChecker)' <<<"$CHECK_LOG")"
expect_eq "notify-send missing: nothing shown" "" "$(machine_notifications alice)"

# --- the reminder settings cannot be read
machine_run sh -c 'printf "[General]\nNOTIFY_DAYS=soon\n" >/etc/password-expiration-policy/config.ini'
machine_check_run
expect_unit_ok "unreadable settings"
expect_eq "unreadable settings: the failure and its reason" \
    "$(printf '%s\n%s' 'PasswordChecker - failed to read config' 'PasswordChecker - reason: "Parameter NOTIFY_DAYS has an unexpected value"')" "$CHECK_LOG"

machine_finish
