#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Check runs in a booted Debian machine with our packages installed by apt,
# started as the timer starts them (systemctl start pwexpiry-notifier.service)
# against users logged in through PAM: logind's own sessions and seats, the
# users' own buses, the real notify-send, and dunst on a virtual display
# showing what arrives.
#
#   checkrun_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2

machine_start "$DEBS" "$SUITE"

# The services that start a check run are sandboxed, and the login socket's
# gate more tightly still; systemd's own rating of them, printed for CI's log.
for unit in pwexpiry-notifier.service:4.5 pwexpiry-notifier-login@1.service:4.5 pwexpiry-notifier-login.service:2.0; do
    limit=${unit#*:} unit=${unit%:*}
    score=$(machine_run systemd-analyze security --no-pager "$unit" | sed -n 's/^.*Overall exposure level for .*: \([0-9.]*\) .*$/\1/p')
    echo "INFO: systemd-analyze security $unit: ${score:-none}"
    expect_eq "$unit: exposure at most $limit" "yes" "$(awk -v s="${score:-99}" -v l="$limit" 'BEGIN {print (s + 0 <= l + 0) ? "yes" : "no"}')"
done

expect_eq "the package's reminder settings: local on, domain off, 14 days" \
    "$(printf '%s\n' '- Receive notify for local user: true' '- Receive notify for domain user: false' '- Number of days before notify: 14')" \
    "$(machine_run pwexpiry-notifier --info)"

for user in alice bob carol; do machine_useradd "$user"; done
UID_ALICE=$(machine_run id -u alice)
UID_BOB=$(machine_run id -u bob)
machine_age_password alice 5
machine_age_password bob 3
machine_age_password carol 5

picked() {
    echo "[probe] picked user: \"$1\" uid: $2 addr: \"unix:path=/run/user/$2/bus\" account: local"
}

# --- an X11 login on seat0
machine_login alice x11 seat0 || machine_fail "alice could not log in"
SESSION_ALICE=$SESSION_ID UNIT_ALICE=$SESSION_UNIT
machine_desktop alice 1 || machine_fail "no desktop for alice"
echo "logind's session list with alice on seat0:"
machine_run loginctl list-sessions --no-legend --no-pager | sed 's/^/    |/; s/$/|/'
expect_eq "logind prints Type before Active whatever the order of -p" "$(printf 'x11\nyes')" \
    "$(machine_run loginctl show-session "$SESSION_ALICE" -p Active -p Type --value)"

machine_check_run
expect_run_ok "x11 session"
expect_eq "x11 session: dunst shows the reminder" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"
expect_log_line "x11 session: the probe picked alice" "$(picked alice "$UID_ALICE")"
expect_log_line "x11 session: the days left logged" '"The password expires in 5 days"'
expect_match "x11 session: delivered at the first attempt" '\[notify\] rc: 0 status: ok' "$CHECK_LOG"
expect_no_match "x11 session: the sandboxed run sees the user's bus socket" 'bus path missing' "$CHECK_LOG"
expect_contains "the service's journal holds the run's lines" '"The password expires in 5 days"' \
    "$(machine_run journalctl -u pwexpiry-notifier.service --no-pager -o cat)"

# --- a newer Wayland login on the same seat: alice's session is no longer active
machine_login bob wayland seat0 || machine_fail "bob could not log in"
SESSION_BOB=$SESSION_ID
machine_desktop bob 2 || machine_fail "no desktop for bob"
expect_eq "a newer login on seat0 makes alice's session inactive" "$(printf 'x11\nno')" \
    "$(machine_run loginctl show-session "$SESSION_ALICE" -p Type -p Active --value)"
echo "logind's session list with alice and bob on seat0:"
machine_run loginctl list-sessions --no-legend --no-pager | sed 's/^/    |/; s/$/|/'

machine_check_run
expect_run_ok "two users on seat0, bob active"
expect_eq "wayland session, the active one: bob sees the reminder" "$(reminder_line "The password expires in 3 days!")" "$(machine_notifications bob)"
expect_eq "inactive x11 session: alice sees nothing" "" "$(machine_notifications alice)"
expect_log_line "two users on seat0: alice's session seen as inactive" '[probe] type: "x11" active: "no"'
expect_log_line "two users on seat0: the probe picked bob" "$(picked bob "$UID_BOB")"

# --- switching the seat back to alice
machine_run loginctl activate "$SESSION_ALICE"
expect_eq "loginctl activate: alice's session active again" "yes" \
    "$(machine_run loginctl show-session "$SESSION_ALICE" -p Active --value)"
machine_check_run
expect_run_ok "seat switched to alice"
expect_eq "seat switched to alice: alice sees the reminder" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"
expect_eq "seat switched to alice: bob sees nothing" "" "$(machine_notifications bob)"

# --- passwords that do not expire: nothing to remind of
machine_run chage -M 99999 alice
machine_check_run
expect_run_ok "maximum age 99999"
expect_eq "maximum age 99999: no reminder" "" "$(machine_notifications alice)"
expect_log_line "maximum age 99999: the probe still picked alice" "$(picked alice "$UID_ALICE")"
expect_no_match "maximum age 99999: no delivery attempted" '\[notify\]|PasswordChecker' "$CHECK_LOG"

# chage -d -1 empties the last-change field: ageing disabled for the account.
machine_run chage -d -1 -M 90 alice
expect_match "ageing disabled: the last-change field is empty" '^alice:[^:]*::' "$(machine_run getent shadow alice)"
machine_check_run
expect_run_ok "ageing disabled"
expect_eq "ageing disabled: no reminder" "" "$(machine_notifications alice)"
expect_no_match "ageing disabled: no delivery attempted" '\[notify\]|PasswordChecker' "$CHECK_LOG"

# --- only a text login: carol has a notification daemon, but no graphical session
machine_logout "$UNIT_ALICE"
machine_run loginctl terminate-user bob
# systemd 257 (Debian 13) lists each user's service manager as a session of
# class "manager" as well, which stays until user@ stops, 10 s after the
# logout; only the logins count here.
machine_wait 10 "alice's and bob's sessions ending" sh -c '[ -z "$(loginctl list-sessions --no-legend | grep -vw manager)" ]' ||
    machine_fail "the sessions did not end"
machine_login carol tty || machine_fail "carol could not log in"
machine_desktop carol 3 || machine_fail "no desktop for carol"
expect_eq "a text login without seat is active" "$(printf 'tty\nyes')" \
    "$(machine_run loginctl show-session "$SESSION_ID" -p Type -p Active --value)"
machine_check_run
expect_run_ok "tty session"
expect_eq "tty session: no reminder" "" "$(machine_notifications carol)"
expect_log_line "tty session: listed by logind as active" '[probe] type: "tty" active: "yes"'
# Each of the ten probe passes looks at the tty login and passes it over, as
# it passes over every session it lists (with systemd 257 also the users'
# service managers, sessions of class "manager").
expect_eq "tty session: looked at in each of the ten probe passes" 10 "$(grep -c '^\[probe\] type: "tty" active: "yes"$' <<<"$CHECK_LOG")"
expect_eq "tty session: every session looked at is passed over" "$(grep -c '^\[probe\] type: ' <<<"$CHECK_LOG")" \
    "$(grep -c '^\[probe\] not active GUI' <<<"$CHECK_LOG")"
expect_eq "tty session: the run's last line" "PasswordChecker - no active GUI user, skip" "$(tail -n 1 <<<"$CHECK_LOG")"

machine_finish
