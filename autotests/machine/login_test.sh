#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Reminders at login in a booted machine: a graphical login gets its reminder
# without waiting for the timer, through what the packages install (the
# autostart entry, the user-side program, the socket and its service). The
# desktop is staged as a real one comes up: the PAM session and the user's
# bus at once, the notification service with the shell (at once, or 12 s
# later, or after the autostart entries), the autostart entries through the
# user manager's xdg-desktop-autostart.target.
# Behind the socket, the gate starts a check run only for the caller's own
# active graphical session, once per session: other users, floods and the
# same session asking again get nothing.
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
# Only the reminders at login here: the timer's first run, two minutes after
# boot, would remind alice in the middle of a case.
machine_run systemctl stop pwexpiry-notifier.timer
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
#   activation       nobody takes the name; the bus can activate dunst
login_case() {
    local desc=$1 order=$2 runs_before since
    runs_before=$(login_runs)
    since=$(date +%s)
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
    activation)
        # Nobody takes the name; the bus can start dunst (through the user
        # manager, which has the display).
        machine_dunst_config alice
        machine_copy_in "$MACHINE_ROOT/usr/share/dbus-1/services/org.knopwob.dunst.service" \
            /usr/share/dbus-1/services/org.knopwob.dunst.service
        rm -f "$MACHINE_DIR/notifications-seen-alice"
        machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
        ;;
    esac
    local wait=20
    [ "$order" != activation ] || wait=50
    # dunstctl asks the notification name, which would start dunst by
    # activation itself: only once somebody owns it.
    machine_wait "$wait" "$desc: the reminder on alice's screen" sh -c \
        'export DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$1/bus
        runuser -u alice -- env DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS busctl --user call org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus NameHasOwner s org.freedesktop.Notifications | grep -qx "b true" &&
        runuser -u alice -- env DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS dunstctl count displayed | grep -qv "^0$"' sh "$UID_ALICE"
    expect_eq "$desc: the reminder is shown" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"
    # Nothing more comes of this login.
    sleep 1
    expect_eq "$desc: one check run for the login" "$((runs_before + 1))" "$(login_runs)"
    expect_eq "$desc: one reminder" "" "$(machine_notifications alice)"
    local log
    log=$(machine_run journalctl --no-pager -o cat --since "@$since" _UID="$UID_ALICE" -t pwexpiry-login-reminder)
    expect_contains "$desc: the user-side program asked once" "[login] check run requested" "$log"
    if [ "$order" = activation ]; then
        expect_contains "$desc: only after waiting for an owner" "[login] nobody took \"org.freedesktop.Notifications\" in 30000 ms" "$log"
        machine_run rm /usr/share/dbus-1/services/org.knopwob.dunst.service
    else
        expect_no_match "$desc: no activation while an owner comes" 'nobody took' "$log"
    fi
    machine_logout "$unit"
    machine_run loginctl terminate-user alice
    machine_wait 30 "$desc: alice gone" sh -c '[ -z "$(loginctl list-users --no-legend)" ]' || machine_fail "$desc: alice stayed"
    machine_run journalctl --rotate >/dev/null 2>&1
}

login_case "notification service at once" at-once
login_case "notification service 12 s after the login" late
login_case "autostart before the notification service" before-service
login_case "a notification service by D-Bus activation alone" activation

# --- a text login starts nothing: no autostart, no check run.
runs_before=$(login_runs)
machine_login alice tty || machine_fail "alice could not log in on a terminal"
sleep 2
expect_eq "text login: no check run" "$runs_before" "$(login_runs)"
expect_eq "text login: the autostart entries are not started" "inactive" \
    "$(machine_as_user alice systemctl --user is-active xdg-desktop-autostart.target)"
machine_logout "$SESSION_UNIT"

# --- the gate: a connection starts a check run only for the caller's own
# active graphical session, once per session.

# Connections to the socket as USER from a login of TYPE, COUNT of them over
# SECONDS, each sending SEND; prints how often each answer came, "word:count"
# sorted, "(none)" for a connection that got no answer line.
#   connect_as USER TYPE COUNT SECONDS [SEND]
connect_as() {
    machine_login_run "$1" "$2" "" python3 -c '
import collections, socket, sys, time
count, seconds, send = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3].encode()
answers = collections.Counter()
start = time.monotonic()
for i in range(count):
    s = socket.socket(socket.AF_UNIX)
    s.settimeout(5)
    try:
        s.connect("/run/pwexpiry-notifier/login.socket")
    except OSError:
        answer = "error"
    else:
        # The gate may have answered and closed before this is sent.
        try:
            s.sendall(send)
        except OSError:
            pass
        try:
            answer = s.makefile("rb").readline().decode().strip() or "(none)"
        except OSError:
            answer = "reset"
    s.close()
    answers[answer] += 1
    time.sleep(max(0, start + (i + 1) * seconds / count - time.monotonic()))
print(" ".join("%s:%d" % kv for kv in sorted(answers.items())))' "$3" "$4" "${5:-}"
}

# The lines the gate, its socket and the check runs of logins put in the
# journal since the time stamp T (seconds since the epoch).
gate_journal_lines() {
    machine_run journalctl --no-pager -o cat --since "@$1" -u pwexpiry-notifier-login.socket \
        -u pwexpiry-notifier-login.service -u 'pwexpiry-notifier-login@*' | grep -vc '^-- '
}

# alice is in her graphical session and has had her reminder.
machine_login alice x11 seat0 || machine_fail "alice could not log in"
ALICE_UNIT=$SESSION_UNIT
machine_display alice 1 || machine_fail "no display for alice"
machine_as_user alice systemctl --user set-environment XDG_SESSION_TYPE=x11 DISPLAY=:1
machine_notification_daemon alice 1 || machine_fail "no dunst for alice"
runs_before=$(login_runs)
machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
machine_wait 20 "alice's reminder" sh -c \
    'runuser -u alice -- env DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$1/bus dunstctl count displayed | grep -qv "^0$"' sh "$UID_ALICE"
expect_eq "alice's login: her reminder" "$(reminder_line "The password expires in 5 days!")" "$(machine_notifications alice)"
expect_eq "alice's login: one check run" "$((runs_before + 1))" "$(login_runs)"
expect_eq "the gate remembers alice's session" "$SESSION_ID" "$(machine_run ls /run/pwexpiry-notifier/reminded)"
expect_eq "the gate has no capabilities" "0000000000000000" \
    "$(machine_sh 'grep ^CapEff: /proc/$(systemctl show -p MainPID --value pwexpiry-notifier-login.service)/status | cut -f2')"

# alice asking again from her session: nothing more.
runs_before=$(login_runs)
expect_eq "alice again in her session: told it had its run" "reminded:3" "$(machine_as_user alice python3 -c '
import socket
for _ in range(3):
    s = socket.socket(socket.AF_UNIX)
    s.connect("/run/pwexpiry-notifier/login.socket")
    print(s.makefile("rb").readline().decode().strip())' | sort | uniq -c | awk '{print $2 ":" $1}')"

# mallory on a text console: whatever she sends, nothing for alice's session.
machine_run cp /etc/password-expiration-policy/config.ini /root/config.before
expect_eq "mallory's connection: not hers" "not-active:1" "$(connect_as mallory tty 1 0 $'--set-local disable\n--sn 1\n')"
expect_eq "what mallory sent changed no setting" "same" "$(machine_run cmp -s /root/config.before /etc/password-expiration-policy/config.ini && echo same)"

# mallory floods the socket: 200 connections in 20 s.
since=$(date +%s)
answers=$(connect_as mallory tty 200 20)
echo "mallory's 200 connections were answered: $answers"
expect_match "mallory's flood: every connection answered, none taken" '^(limited:[0-9]+ ?)?(not-active:[0-9]+)?$' "$answers"
expect_eq "mallory's flood: all 200 answered" 200 "$(tr ' ' '\n' <<<"$answers" | awk -F: '{n += $2} END {print n}')"
sleep 1
lines=$(gate_journal_lines "$since")
echo "journal lines of the gate and the login check runs during the flood: $lines"
expect_match "mallory's flood: at most a line a second in the journal ($lines)" '^([0-9]|1[0-9]|2[01])$' "$lines"
expect_eq "no check run for alice's session came of it" "$runs_before" "$(login_runs)"
expect_eq "nothing more on alice's screen" "" "$(machine_notifications alice)"

# bob logs in graphically while mallory floods: his reminder all the same.
machine_useradd bob
machine_age_password bob 3
UID_BOB=$(machine_run id -u bob)
runs_before=$(login_runs)
connect_as mallory tty 200 20 >"$MACHINE_DIR/flood2" &
flood=$!
sleep 5
machine_login bob x11 seat0 || machine_fail "bob could not log in"
BOB_UNIT=$SESSION_UNIT
machine_display bob 2 || machine_fail "no display for bob"
machine_as_user bob systemctl --user set-environment XDG_SESSION_TYPE=x11 DISPLAY=:2
machine_notification_daemon bob 2 || machine_fail "no dunst for bob"
start=$(date +%s%N)
machine_as_user bob systemctl --user start pwexpiry-test-desktop.target
machine_wait 20 "bob's reminder during the flood" sh -c \
    'runuser -u bob -- env DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$1/bus dunstctl count displayed | grep -qv "^0$"' sh "$UID_BOB"
took=$((($(date +%s%N) - start) / 1000000))
echo "bob's reminder came $took ms after his desktop started, during mallory's flood"
expect_match "bob's reminder within a few seconds ($took ms)" '^[0-9]{1,4}$' "$took"
wait "$flood"
echo "mallory's second flood was answered: $(cat "$MACHINE_DIR/flood2")"
expect_eq "bob: exactly one reminder" "$(reminder_line "The password expires in 3 days!")" "$(machine_notifications bob)"
expect_eq "bob: exactly one check run" "$((runs_before + 1))" "$(login_runs)"
expect_eq "alice: still nothing more" "" "$(machine_notifications alice)"
expect_eq "the socket still listens" "active" "$(machine_run systemctl is-active pwexpiry-notifier-login.socket)"

# Sessions that ended are forgotten.
machine_logout "$BOB_UNIT"
machine_logout "$ALICE_UNIT"
machine_run loginctl terminate-user alice
machine_run loginctl terminate-user bob
machine_wait 30 "alice and bob gone" sh -c '[ -z "$(loginctl list-users --no-legend)" ]' || machine_fail "users stayed"
connect_as mallory tty 1 0 >/dev/null
expect_eq "ended sessions are forgotten at the next request" "" "$(machine_run ls /run/pwexpiry-notifier/reminded)"

machine_finish
