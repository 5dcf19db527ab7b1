#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Check runs of the built notifier, all real but logind: a test user aged with
# chage in the private /etc, the user's own session bus, a notification server
# on it, real runuser/env/notify-send, and a stand-in loginctl that lists the
# user's graphical session. What the server received is what a desktop shows.
. "$(dirname "$0")/sandbox.sh" || exit 1
. "$(dirname "$0")/notify.sh" || exit 1
sandbox_enter --net "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "$1")

printf 'PASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_useradd alice
UID_ALICE=$(id -u alice)
notify_start_session alice || { echo "FAIL: could not start alice's session"; exit 1; }
cp -a /etc/shadow "$SANDBOX/shadow.saved"

# age_password DAYS-LEFT [MAX-DAYS]: the password expires in DAYS-LEFT days.
age_password() {
    local left=$1 max=${2:-90}
    chage -d "$(date -d "-$((max - left)) days" +%F)" -M "$max" alice
}

# A check run; its log (standard error) lands in $ERR.
check_run() {
    notify_clear alice
    : >"$SANDBOX/calls/loginctl"
    capture "$NOTIFIER"
    expect_eq "$1: status 0, nothing on stdout" "0|" "$RC|$OUT"
}

has_line() {
    printf '%s\n' "$2" | grep -Fxq -- "$1"
}

expect_line() {
    if has_line "$2" "$ERR"; then _record ok "$1"; else _record fail "$1" "missing line: $2" "log: $ERR"; fi
}

# What the check run logged after the probe had picked the user.
after_pick() {
    printf '%s\n' "$ERR" | sed -n '/^\[probe\] picked user:/,$p' | tail -n +2
}

reminder() {
    echo "Password Expiry|$1|dialog-warning|1337|2"
}

# --- reminders that are due
sandbox_write_settings true false 14
age_password 5
check_run "5 days left"
expect_eq "5 days left: the reminder reached the server" "$(reminder "The password expires in 5 days!")" "$(notify_received alice)"
expect_line "5 days left: days logged as a quoted string" '"The password expires in 5 days"'
expect_line "5 days left: the command line" "[notify] run: \"/usr/sbin/runuser\" (\"-u\", \"alice\", \"--\", \"/usr/bin/env\", \"DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$UID_ALICE/bus\", \"XDG_RUNTIME_DIR=/run/user/$UID_ALICE\", \"/usr/bin/notify-send\", \"-u\", \"critical\", \"-i\", \"dialog-warning\", \"-r\", \"1337\", \"Password Expiry\", \"The password expires in 5 days!\")"
expect_match "5 days left: one attempt, exit code 0" '\[notify\] rc: 0 status: ok elapsed\(ms\): [0-9]+' "$ERR"
expect_eq "5 days left: one attempt" 1 "$(grep -c '^\[notify\] attempt ' <<<"$ERR")"
expect_no_match "5 days left: no failure logged" 'PasswordChecker|\[notify\].*failed' "$ERR"

age_password 1
check_run "1 day left"
expect_eq "1 day left: singular text" "$(reminder "The password expires in 1 day!")" "$(notify_received alice)"

age_password 13
check_run "13 days left, notify days 14"
expect_eq "one day below notify days: reminded" "$(reminder "The password expires in 13 days!")" "$(notify_received alice)"

age_password 0
check_run "expires today"
expect_eq "expires today: today's text" "$(reminder "The password expires today!")" "$(notify_received alice)"
expect_line "expires today: 0 days logged" '"The password expires in 0 days"'

age_password -3
check_run "expired 3 days ago"
expect_eq "expired: today's text, not a negative count" "$(reminder "The password expires today!")" "$(notify_received alice)"
expect_line "expired: negative days logged" '"The password expires in -3 days"'

chage -d 0 -M 99999 alice
check_run "must change now"
expect_eq "must change now: today's text even without a maximum age" "$(reminder "The password expires today!")" "$(notify_received alice)"

sandbox_write_settings true false 1
age_password 0
check_run "expires today, notify days 1"
expect_eq "expires today, notify days 1: reminded" "$(reminder "The password expires today!")" "$(notify_received alice)"

# --- reminders that are not due
sandbox_write_settings true false 0
check_run "expires today, notify days 0"
expect_eq "expires today, notify days 0: no reminder" "" "$(notify_received alice)"
age_password -1
check_run "expired, notify days 0"
expect_eq "expired, notify days 0: still reminded" "$(reminder "The password expires today!")" "$(notify_received alice)"

sandbox_write_settings true false 14
age_password 14
check_run "14 days left, notify days 14"
expect_eq "days left equal to notify days: no reminder" "" "$(notify_received alice)"
expect_line "days left equal to notify days: days still logged" '"The password expires in 14 days"'
expect_eq "days left equal to notify days: nothing after the days line" '"The password expires in 14 days"' "$(after_pick)"

for max in 99999 -1; do
    chage -d "$(date -d '-200 days' +%F)" -M "$max" alice
    check_run "maximum age $max"
    expect_eq "maximum age $max: never expires, no reminder" "" "$(notify_received alice)"
    expect_no_match "maximum age $max: no delivery attempted" '\[notify\]|PasswordChecker' "$ERR"
done

# An empty last-change field: password aging is disabled for the account.
chage -d -1 -M 90 alice
expect_match "aging disabled: last-change field empty" '^alice:[^:]*::' "$(getent shadow alice)"
check_run "aging disabled"
expect_eq "aging disabled: no reminder" "" "$(notify_received alice)"
expect_no_match "aging disabled: no delivery attempted" '\[notify\]|PasswordChecker' "$ERR"

# --- the flags
age_password 5
sandbox_write_settings false false 14
check_run "both flags off"
expect_eq "both flags off: the one log line" "PasswordChecker - notifications are disabled, skip" "$ERR"
expect_eq "both flags off: loginctl never run" "" "$(stub_calls loginctl)"
expect_eq "both flags off: no reminder" "" "$(notify_received alice)"

sandbox_write_settings false true 14
check_run "local user, only the domain flag"
expect_contains "local user, only the domain flag: probe ran" "[probe] picked user: \"alice\" uid: $UID_ALICE" "$ERR"
expect_eq "local user, only the domain flag: nothing after the probe" "" "$(after_pick)"
expect_eq "local user, only the domain flag: no reminder" "" "$(notify_received alice)"

printf 'NOTIFY_DAYS=soon\n' >/etc/password-expiration-policy/config.ini
check_run "unreadable settings"
expect_eq "unreadable settings: the failure and its reason" \
    "$(printf '%s\n%s' 'PasswordChecker - failed to read config' 'PasswordChecker - reason: "Parameter NOTIFY_DAYS has an unexpected value"')" "$ERR"
expect_eq "unreadable settings: loginctl never run" "" "$(stub_calls loginctl)"

# --- no shadow entry for the user
sandbox_write_settings true false 14
sed -i '/^alice:/d' /etc/shadow
check_run "no shadow entry"
expect_eq "no shadow entry: the failure lines" \
    "$(printf '"Failed to read shadow for user alice"\nPasswordChecker - failed to get spwd\nPasswordChecker - failed to process local user')" \
    "$(after_pick)"
expect_eq "no shadow entry: no reminder" "" "$(notify_received alice)"
cat "$SANDBOX/shadow.saved" >/etc/shadow

# --- a domain account: the directory client knows the user
sandbox_stub /usr/sbin/sssctl <<'STUB'
[ "$1" = user-show ] || exit 1
printf 'Name: %s@example.test\nDomain name: example.test\nProvider: ad\n' "$2"
STUB
sandbox_stub /usr/sbin/ad-password-expiry-notify.sh <<STUB
echo "\$0 uid=\$(id -u)" >>"$SANDBOX/calls/ad-script-how"
exit \$(cat "$SANDBOX/ad-script-rc")
STUB
age_password 5

sandbox_write_settings true false 14
check_run "domain user, only the local flag"
expect_contains "domain user: classified as such" "account: domain" "$ERR"
expect_eq "domain user, only the local flag: nothing after the probe" "" "$(after_pick)"
expect_eq "domain user, only the local flag: no reminder" "" "$(notify_received alice)"
expect_eq "domain user, only the local flag: script not run" "" "$(stub_calls ad-password-expiry-notify.sh)"

sandbox_write_settings false true 21
echo 0 >"$SANDBOX/ad-script-rc"
check_run "domain user, script succeeds"
expect_eq "domain script: notify days as its only argument" "$(printf '21\n--')" "$(stub_calls ad-password-expiry-notify.sh)"
expect_eq "domain script: run through bash as root" "/usr/sbin/ad-password-expiry-notify.sh uid=0" "$(cat "$SANDBOX/calls/ad-script-how")"
expect_eq "domain script succeeds: nothing after the probe" "" "$(after_pick)"
expect_eq "domain user: no desktop reminder of ours" "" "$(notify_received alice)"

: >"$SANDBOX/calls/ad-password-expiry-notify.sh"
echo 3 >"$SANDBOX/ad-script-rc"
check_run "domain user, script exits 3"
expect_eq "domain script exits 3: the two failure lines" \
    "$(printf 'Failed to run ad-password-expiry-notify.sh\nPasswordChecker - failed to process domain user')" "$(after_pick)"
expect_eq "domain script exits 3: it was run" "$(printf '21\n--')" "$(stub_calls ad-password-expiry-notify.sh)"

umount /usr/sbin/ad-password-expiry-notify.sh
sandbox_remove /usr/sbin/ad-password-expiry-notify.sh || exit 1
check_run "domain user, no script"
expect_eq "domain script missing: the two failure lines" \
    "$(printf 'Failed to run ad-password-expiry-notify.sh\nPasswordChecker - failed to process domain user')" "$(after_pick)"

# --- nobody in a graphical session: the probe gives up after its retries
umount /usr/sbin/sssctl
sandbox_write_settings true false 14
notify_stub_loginctl alice tty yes
start=$(date +%s%N)
check_run "no graphical session"
elapsed=$((($(date +%s%N) - start) / 1000000))
expect_eq "no graphical session: ten probe passes" 10 "$(grep -c '^\[probe\] not active GUI' <<<"$ERR")"
expect_eq "no graphical session: last line" "PasswordChecker - no active GUI user, skip" "$(tail -n 1 <<<"$ERR")"
expect_eq "no graphical session: no reminder" "" "$(notify_received alice)"
expect_match "no graphical session: gave up after about 5 s" '^[5-9][0-9]{3}$' "$elapsed"

sandbox_finish
