#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Reminders at login in a booted machine: a graphical login gets its reminder
# without waiting for the timer, through what the packages install (the
# autostart entry, the user-side program, the socket and its service). The
# desktop is staged as a real one comes up: the PAM session and the user's
# bus at once, the notification service with the shell (at once, or 12 s
# later, or after the autostart entries), the autostart entries through the
# user manager's xdg-desktop-autostart.target.
#
#   login_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2

machine_start "$DEBS" "$SUITE"
# A desktop's session target, as Plasma's and GNOME's: bound to
# graphical-session.target, it brings the autostart entries in (that target
# cannot be started by hand).
machine_sh 'mkdir -p /etc/systemd/user && printf "%s\n" "[Unit]" "Description=A desktop session as the tests stage it" \
    "BindsTo=graphical-session.target" "Wants=xdg-desktop-autostart.target" >/etc/systemd/user/pwexpiry-test-desktop.target'
machine_useradd alice
machine_useradd mallory
machine_age_password alice 5
UID_ALICE=$(machine_run id -u alice)

expect_eq "the socket is enabled and listening" "enabled active" \
    "$(machine_run systemctl is-enabled pwexpiry-notifier-login.socket) $(machine_run systemctl is-active pwexpiry-notifier-login.socket)"
expect_eq "anyone may connect to it" "srw-rw-rw- root" "$(machine_run stat -c '%A %U' /run/pwexpiry-notifier/login.socket)"

# The check runs the socket started, one line each: "unit result".
login_runs() {
    machine_run journalctl --no-pager -o cat -u 'pwexpiry-notifier-login@*' _PID=1 | grep -c '^Finished '
}

# One graphical login of alice: login_case DESCRIPTION ORDER, ORDER one of
#   at-once          the notification service comes with the session
#   late             it comes 12 s after the login, the autostart after it
#   before-service   the autostart entries run 3 s before it comes
login_case() {
    local desc=$1 order=$2 runs_before
    runs_before=$(login_runs)
    machine_login alice x11 seat0 || machine_fail "$desc: alice could not log in"
    local unit=$SESSION_UNIT
    machine_display alice 1 || machine_fail "$desc: no display"
    # What a desktop hands its user manager before the autostart entries run.
    machine_as_user alice systemctl --user set-environment XDG_SESSION_TYPE=x11 DISPLAY=:1
    case $order in
    at-once)
        machine_notification_daemon alice 1 || machine_fail "$desc: no dunst"
        machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
        ;;
    late)
        sleep 12
        machine_notification_daemon alice 1 || machine_fail "$desc: no dunst"
        machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
        ;;
    before-service)
        machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
        sleep 3
        machine_notification_daemon alice 1 || machine_fail "$desc: no dunst"
        ;;
    esac
    machine_wait 20 "$desc: the reminder on alice's screen" sh -c \
        'runuser -u alice -- env DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$1/bus dunstctl count displayed | grep -qv "^0$"' sh "$UID_ALICE"
    expect_eq "$desc: the reminder is shown" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"
    # Nothing more comes of this login.
    sleep 1
    expect_eq "$desc: one check run for the login" "$((runs_before + 1))" "$(login_runs)"
    expect_eq "$desc: one reminder" "" "$(machine_notifications alice)"
    expect_contains "$desc: the user-side program asked once" "[login] check run requested" \
        "$(machine_run journalctl --no-pager -o cat _UID="$UID_ALICE" -t pwexpiry-login-reminder)"
    machine_logout "$unit"
    machine_run loginctl terminate-user alice
    machine_wait 30 "$desc: alice gone" sh -c '[ -z "$(loginctl list-users --no-legend)" ]' || machine_fail "$desc: alice stayed"
    machine_run journalctl --rotate >/dev/null 2>&1
}

login_case "notification service at once" at-once
login_case "notification service 12 s after the login" late
login_case "autostart before the notification service" before-service

# --- a text login starts nothing: no autostart, no check run.
runs_before=$(login_runs)
machine_login alice tty || machine_fail "alice could not log in on a terminal"
sleep 2
expect_eq "text login: no check run" "$runs_before" "$(login_runs)"
expect_eq "text login: the autostart entries are not started" "inactive" \
    "$(machine_as_user alice systemctl --user is-active xdg-desktop-autostart.target)"
machine_logout "$SESSION_UNIT"

# --- the socket starts a check run and nothing else, whatever is sent.
machine_run cp /etc/password-expiration-policy/config.ini /root/config.before
runs_before=$(login_runs)
machine_login_run mallory tty "" python3 -c '
import socket
s = socket.socket(socket.AF_UNIX)
s.connect("/run/pwexpiry-notifier/login.socket")
s.sendall(b"--set-local disable\n--sn 1\n" * 1000)
s.close()'
expect_eq "a user's connection: accepted" 0 "$?"
machine_wait 20 "the check run of mallory's connection" sh -c '[ "$(journalctl --no-pager -o cat -u "pwexpiry-notifier-login@*" _PID=1 | grep -c "^Finished ")" -gt "$1" ]' sh "$runs_before"
expect_eq "what was sent changed no setting" "same" "$(machine_run cmp -s /root/config.before /etc/password-expiration-policy/config.ini && echo same)"
expect_eq "what was sent ran as a plain check run" "" \
    "$(machine_run journalctl --no-pager -o cat -u 'pwexpiry-notifier-login@*' | grep -E 'must be run as root|Unknown option')"

# Many connections at once: one run at a time, the rest closed.
runs_before=$(login_runs)
machine_login_run mallory tty "" python3 -c '
import socket
for _ in range(20):
    s = socket.socket(socket.AF_UNIX)
    try:
        s.connect("/run/pwexpiry-notifier/login.socket")
    except OSError:
        pass
    s.close()'
# With nobody in a graphical session a run takes its probe's five seconds.
machine_wait 20 "a check run of the twenty connections" sh -c '[ "$(journalctl --no-pager -o cat -u "pwexpiry-notifier-login@*" _PID=1 | grep -c "^Finished ")" -gt "$1" ]' sh "$runs_before"
sleep 6
runs=$(( $(login_runs) - runs_before ))
expect_match "twenty connections at once: far fewer runs ($runs)" '^[1-5]$' "$runs"
expect_eq "the socket still listens" "active" "$(machine_run systemctl is-active pwexpiry-notifier-login.socket)"

machine_finish
