#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Session bus discovery end to end: real listening sockets in a private network
# namespace (its own /proc/net/unix), real processes, a scripted loginctl,
# driven through probedriver (argument 1).
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/session.sh"
sandbox_enter --net "$@"
session_setup

DRIVER=$(sandbox_install_bin "$1")

for user in alice bob erin frank; do
    sandbox_useradd "$user" || exit 1
done
F=$(id -u frank)

lookup() {
    rm -f "$SANDBOX/calls/loginctl"
    capture "$DRIVER" bus "$1"
    ADDRESS=$(printf '%s\n' "$OUT" | sed -n 's/^address=//p')
    LOGINCTL=$(stub_calls loginctl | paste -sd' ')
}

# The first abstract dbus socket in the kernel's table order.
first_abstract() {
    awk 'NR > 1 && $8 ~ /^@\/tmp\/dbus-/ {print substr($8, 2); exit}' /proc/net/unix
}

# --- A user given as a number is that uid, with no password database entry.
mkdir -p /run/user/4321
session_listen root /run/user/4321/bus || exit 1
ROOT_LISTENER=$SESSION_PID
lookup 4321
expect_eq "uid 4321: runtime bus" "unix:path=/run/user/4321/bus" "$ADDRESS"
expect_eq "uid 4321: log" "[addr] from /proc/net/unix" "$ERR"
lookup nosuchuser
expect_eq "unknown name: nothing, no log, no loginctl" "none||" "$ADDRESS|$ERR|$LOGINCTL"
session_stop "$ROOT_LISTENER"

# --- Abstract sockets are the last resort, the first listed one wins.
session_listen erin @/tmp/dbus-first || exit 1
session_listen erin @/tmp/dbus-second || exit 1
lookup alice
expect_eq "abstract only: the first in the table" "unix:abstract=$(first_abstract)" "$ADDRESS"
expect_match "abstract only: one of the two" '^unix:abstract=/tmp/dbus-(first|second)$' "$ADDRESS"
expect_eq "abstract only: log" "[addr] from /proc/net/unix" "$ERR"
expect_eq "abstract only: no loginctl" "" "$LOGINCTL"

# An owned "/tmp/dbus-" socket wins over the abstract ones.
session_listen alice "$SESSION_TMP/alice" || exit 1
ALICE_LISTENER=$SESSION_PID
lookup alice
expect_eq "own tmp socket beats abstract" "unix:path=$SESSION_TMP/alice" "$ADDRESS"

# Another user's socket and a socket whose file is gone are passed over.
session_stop "$ALICE_LISTENER"
session_listen alice "$SESSION_TMP/gone" || exit 1
rm -f "$SESSION_TMP/gone"
session_listen bob "$SESSION_TMP/bob" || exit 1
lookup alice
expect_eq "foreign and vanished sockets passed over: abstract" "unix:abstract=$(first_abstract)" "$ADDRESS"
lookup bob
expect_eq "bob's own socket" "unix:path=$SESSION_TMP/bob" "$ADDRESS"

# --- Without any socket: the leader, then the process scan by real uid.
for pid in $(jobs -p); do session_stop "$pid"; done
session_line "7 $F frank seat0 tty7"
lookup frank
expect_eq "no bus anywhere: nothing, no log" "none|" "$ADDRESS|$ERR"
expect_eq "no bus anywhere: list, then no leader" "list-sessions --no-legend --no-pager -- show-session 7 -p Leader --value --" "$LOGINCTL"

# A process whose effective uid is frank's but real uid is root does not
# count; one whose real uid is frank's does.
setpriv --euid="$F" /usr/bin/env -i DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/effective /bin/sleep 600 &
setpriv --ruid="$F" /usr/bin/env -i DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/real /bin/sleep 600 &
REAL=$!
for i in $(seq 100); do [ "$(cat /proc/$REAL/comm 2>/dev/null)" = sleep ] && break; sleep 0.05; done
lookup frank
expect_eq "process scan by real uid" "unix:path=/tmp/real|[addr] from proc environ pid $REAL" "$ADDRESS|$ERR"

# The leader, when usable, comes before the scan; a leader without the
# variable (only the _OLD one) is passed over.
session_user_process frank DBUS_SESSION_BUS_ADDRESS_OLD=unix:path=/tmp/old || exit 1
session_leader 7 "$SESSION_PID"
lookup frank
expect_eq "leader with only _OLD: process scan" "unix:path=/tmp/real|[addr] from proc environ pid $REAL" "$ADDRESS|$ERR"
session_user_process frank DBUS_SESSION_BUS_ADDRESS=unix:abstract=/tmp/dbus-leader || exit 1
session_leader 7 "$SESSION_PID"
lookup frank
expect_eq "usable leader" "unix:abstract=/tmp/dbus-leader|[addr] from leader environ" "$ADDRESS|$ERR"
# The leader's process id is read after trimming; anything but digits is not
# a process id.
printf ' %s \n' "$SESSION_PID" >"$SESSIONS/7.leader"
lookup frank
expect_eq "leader output trimmed" "unix:abstract=/tmp/dbus-leader" "$ADDRESS"
printf '%sx\n' "$SESSION_PID" >"$SESSIONS/7.leader"
lookup frank
expect_eq "leader not a number: process scan" "unix:path=/tmp/real" "$ADDRESS"

sandbox_finish
