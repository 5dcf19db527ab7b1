#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Saving the policy in a booted Debian machine through its own system bus:
# dbus-daemon starts the installed helper on demand, the machine's polkitd
# decides with the installed action and Debian's own rules (administrators
# are the members of group sudo), and polkit's text agent asks for an
# administrator's password on a terminal.
#
#   privileged_save_test.sh DEBDIR SUITE SAVECONFCLIENT
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2 CLIENT=$3

machine_start "$DEBS" "$SUITE"
machine_copy_in "$CLIENT" /usr/local/bin/saveconfclient
machine_copy_in "$(dirname "$0")/polkit_agent.py" /usr/local/bin/polkit_agent.py
machine_useradd admin -G sudo
machine_useradd bob
ADMIN_PASSWORD=Adm1n-pw
machine_sh 'echo "admin:$1" | chpasswd' "$ADMIN_PASSWORD"

info() {
    printf -- '- Receive notify for local user: %s\n- Receive notify for domain user: %s\n- Number of days before notify: %s' "$@"
}

# The three policy files, for comparing before and after.
policy_files() {
    machine_run sha256sum /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini
}

# Debian's login.defs apart from the three keys the helper owns.
other_lines() {
    machine_run grep -vE '^(PASS_MIN_DAYS|PASS_MAX_DAYS|PASS_WARN_AGE)[[:space:]]' /etc/login.defs | sed 's/[[:space:]]*$//'
}

# A save by bob from a new login on SEAT (empty: none), the way a desktop
# user's program asks: save_as_bob SEAT [polkit_agent.py options and
# password] -- LOCAL DOMAIN NOTIFY MIN MAX WARN INACTIVE EXPIRE. Output in
# $OUT, the agent's terminal in $AGENT, status in $RC.
save_as_bob() {
    local seat=$1 agent=()
    shift
    while [ "$1" != -- ]; do agent+=("$1"); shift; done
    shift
    [ ${#agent[@]} -gt 0 ] && agent=(/usr/local/bin/polkit_agent.py "${agent[@]}")
    capture machine_login_run bob tty "$seat" "${agent[@]}" /usr/local/bin/saveconfclient -- "$@"
    AGENT=$(printf '%s\n' "$ERR" | sed -n 's/^agent: //p' | sed 's/\x1b\[[0-9;]*m//g')
}

# --- root: the notifier's own options, through the helper started on demand
other_before=$(other_lines)
capture machine_run pwexpiry-notifier --set-local disable
expect_eq "root: --set-local disable succeeds" "0|" "$RC|$OUT$ERR"
expect_eq "root: local reminders off" "$(info false false 14)" "$(machine_run pwexpiry-notifier --info)"
expect_contains "root: the helper was started by D-Bus activation" \
    "Successfully activated service 'orvane.kcm.policyexpiration'" "$(machine_run journalctl -u dbus.service -o cat --no-pager)"
expect_match "root: the settings file says so" '^RECEIVE_NOTIFY_FOR_LOCAL=false$' \
    "$(machine_run cat /etc/password-expiration-policy/config.ini)"

capture machine_run pwexpiry-notifier --set-notify-days 21
expect_eq "root: --set-notify-days 21 succeeds" "0|" "$RC|$OUT$ERR"
expect_eq "root: 21 days" "$(info false false 21)" "$(machine_run pwexpiry-notifier --info)"
expect_eq "Debian's login.defs keeps every other line" "$other_before" "$(other_lines)"
expect_eq "login.defs keeps its mode and owner" "644 root root" "$(machine_run stat -c '%a %U %G' /etc/login.defs)"

# --- bob, without an agent: refused, nothing changed
before=$(policy_files)
save_as_bob seat0 -- true false 30 1 90 10 -1 ""
expect_eq "bob without an agent: refused" "1|error -1: " "$RC|$OUT"
expect_eq "bob without an agent: the files are unchanged" "$before" "$(policy_files)"

# --- bob with an agent, a wrong administrator's password: refused
save_as_bob seat0 wrong-password -- true false 30 1 90 10 -1 ""
expect_eq "wrong password: refused" "1|error -1: " "$RC|$OUT"
expect_contains "wrong password: the agent asked for the administrator" "Authenticating as: admin" "$AGENT"
expect_contains "wrong password: authentication failed" "==== AUTHENTICATION FAILED ====" "$AGENT"
expect_eq "wrong password: the files are unchanged" "$before" "$(policy_files)"

# --- bob with an agent and the administrator's password: saved
save_as_bob seat0 "$ADMIN_PASSWORD" -- true false 30 1 90 10 -1 ""
expect_eq "administrator's password: saved" "0|ok" "$RC|$OUT"
expect_contains "administrator's password: the action's message shown" \
    "Administrator authentication is required to change the password expiration policy." "$AGENT"
expect_contains "administrator's password: authentication complete" "==== AUTHENTICATION COMPLETE ====" "$AGENT"
expect_eq "administrator's password: the reminder settings" "$(info true false 30)" "$(machine_run pwexpiry-notifier --info)"
expect_eq "administrator's password: the ages in login.defs" "PASS_MAX_DAYS 90|PASS_MIN_DAYS 1|PASS_WARN_AGE 10" \
    "$(machine_run grep -E '^PASS_(MIN_DAYS|MAX_DAYS|WARN_AGE)[[:space:]]' /etc/login.defs | awk '{print $1, $2}' | sort | paste -sd'|' -)"
expect_eq "administrator's password: Debian's other lines kept" "$other_before" "$(other_lines)"

# --- the authorisation is not kept: the next save asks again
before=$(policy_files)
save_as_bob seat0 -- false false 7 1 90 10 -1 ""
expect_eq "the next save without an agent: refused again" "1|error -1: " "$RC|$OUT"
expect_eq "the next save without an agent: the files are unchanged" "$before" "$(policy_files)"

# --- a login without a seat, as over ssh: polkit does not count it as local
save_as_bob "" "$ADMIN_PASSWORD" -- false false 7 1 90 10 -1 ""
expect_eq "login without seat, with an agent: refused" "1|error -1: " "$RC|$OUT"
expect_eq "login without seat, with an agent: no password asked" "" "$AGENT"
expect_eq "login without seat, with an agent: the files are unchanged" "$before" "$(policy_files)"

# --- bob's seat switched to another login: refused without a prompt
# bob's save starts first and waits; its outcome comes back through files.
{
    save_as_bob seat0 --wait-for /run/pwexpiry-go "$ADMIN_PASSWORD" -- false false 7 1 90 10 -1 ""
    printf '%s' "$RC|$OUT" >"$MACHINE_DIR/bg.result"
    printf '%s' "$AGENT" >"$MACHINE_DIR/bg.agent"
} &
bg=$!
# Debian 13's logind lists the user manager's own session beside the login
# (class manager, without a seat): bob's login is the one on seat0.
machine_wait 10 "bob's login" sh -c 'loginctl list-sessions --no-legend | grep -Eq " bob +seat0( |$)"' ||
    machine_fail "bob did not log in"
BOB_SESSION=$(machine_run loginctl list-sessions --no-legend | awk '$3 == "bob" && $4 == "seat0" {print $1}')
machine_login admin tty seat0 || machine_fail "admin could not log in"
expect_eq "a newer login on seat0 makes bob's session inactive" no \
    "$(machine_run loginctl show-session "$BOB_SESSION" -p Active --value)"
machine_run touch /run/pwexpiry-go
wait "$bg"
expect_eq "inactive session with an agent: refused" "1|error -1: " "$(cat "$MACHINE_DIR/bg.result")"
expect_eq "inactive session with an agent: no password asked" "" "$(cat "$MACHINE_DIR/bg.agent")"
expect_eq "inactive session with an agent: the files are unchanged" "$before" "$(policy_files)"

machine_finish
