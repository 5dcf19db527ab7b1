#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The session probe end to end: a scripted loginctl and directory client, real
# listening sockets in a private network namespace, real processes of test
# users, driven through probedriver (argument 1).
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/session.sh"
sandbox_enter --net "$@"
session_setup

DRIVER=$(sandbox_install_bin "$1")

for user in alice bob carol dave erin; do
    sandbox_useradd "$user" || exit 1
done
A=$(id -u alice)
B=$(id -u bob)
C=$(id -u carol)
D=$(id -u dave)
E=$(id -u erin)

calls() {
    stub_calls "$1" | paste -sd' '
}
reset_calls() {
    rm -f "$SANDBOX/calls/"*
}
record() {
    printf 'user=%s\nuid=%s\nbusPath=%s\nbusAddress=%s\naccount=%s' "$@"
}
elapsed_of() {
    printf '%s\n' "$1" | sed -n 's/^elapsed_ms=//p'
}
session_of() {
    printf '%s\n' "$1" | grep -v '^elapsed_ms='
}
LIST_CALL="list-sessions --no-legend --no-pager --"
props_call() {
    echo "show-session $1 -p Type -p Active --value --"
}

# --- The greeter is skipped and the user's Wayland session picked, with the
# runtime bus socket from the socket table and no wait.
session_line "c1 115 plim-dm seat0 tty1"
session_props c1 x11 yes
session_line "2 $A alice seat0 tty2"
session_props 2 wayland yes
session_runtime_dir alice
session_listen alice "/run/user/$A/bus" || exit 1
reset_calls
capture "$DRIVER" pass
expect_eq "greeter: alice's session picked" "$(record alice "$A" "/run/user/$A/bus" "unix:path=/run/user/$A/bus" local)" "$(session_of "$OUT")"
expect_eq "greeter: log" "[probe] sessions: 2
[probe] sid: \"c1\" uid: \"115\" user: \"plim-dm\"
[probe] skip DM user
[probe] sid: \"2\" uid: \"$A\" user: \"alice\"
[probe] type: \"wayland\" active: \"yes\"
[addr] from /proc/net/unix
[probe] address: \"unix:path=/run/user/$A/bus\" waited(ms) N
[probe] picked user: \"alice\" uid: $A addr: \"unix:path=/run/user/$A/bus\" account: local" "$(without_ms "$ERR")"
# The first lookup comes before any pause.
waited=$(waited_ms '[probe] address:' "$ERR")
expect_eq "greeter: bus found at once" yes "$([ "$waited" -lt 250 ] && echo yes || echo "no: $waited")"
expect_eq "greeter: loginctl asked for the list and alice's session only" "$LIST_CALL $(props_call 2)" "$(calls loginctl)"
expect_eq "greeter: directory client asked about alice" "user-show alice --" "$(calls sssctl)"

# --- A tty session is passed over; bob's session, whose bus never appears
# (the only /tmp/dbus- socket around is alice's), costs the bus wait; carol's
# session comes next and is picked.
session_clear
session_line "3 $A alice seat0 tty3"
session_props 3 tty yes
session_line "4 $B bob seat0 tty4"
session_props 4 x11 yes
session_line "5 $C carol seat0 tty5"
session_props 5 x11 yes
session_listen alice "$SESSION_TMP/alice" || exit 1
ALICE_TMP_LISTENER=$SESSION_PID
session_listen carol "$SESSION_TMP/carol" || exit 1
reset_calls
capture "$DRIVER" pass
expect_eq "bus wait: carol's session picked" "$(record carol "$C" "$SESSION_TMP/carol" "unix:path=$SESSION_TMP/carol" local)" "$(session_of "$OUT")"
expect_eq "bus wait: log" "[probe] sessions: 3
[probe] sid: \"3\" uid: \"$A\" user: \"alice\"
[probe] type: \"tty\" active: \"yes\"
[probe] not active GUI
[probe] sid: \"4\" uid: \"$B\" user: \"bob\"
[probe] type: \"x11\" active: \"yes\"
[probe] bus not ready for name \"bob\" waited(ms) N
[probe] sid: \"5\" uid: \"$C\" user: \"carol\"
[probe] type: \"x11\" active: \"yes\"
[addr] from /proc/net/unix
[probe] address: \"unix:path=$SESSION_TMP/carol\" waited(ms) N
[probe] picked user: \"carol\" uid: $C addr: \"unix:path=$SESSION_TMP/carol\" account: local" "$(without_ms "$ERR")"
waited=$(waited_ms '[probe] bus not ready' "$ERR")
echo "bus wait for bob: ${waited} ms; whole pass: $(elapsed_of "$OUT") ms"
expect_eq "bus wait: gives up just after 5 s" yes "$([ "$waited" -ge 5000 ] && [ "$waited" -lt 6000 ] && echo yes || echo "no: $waited")"
# Each lookup for bob lists the sessions and asks for the leader of session 4;
# with 250 ms between lookups there are at most 21 in 5 s.
lookups=$(stub_calls loginctl | grep -c '^Leader$')
echo "lookups for bob: $lookups"
expect_eq "bus wait: repeated lookups paced by 250 ms" yes "$([ "$lookups" -ge 3 ] && [ "$lookups" -le 21 ] && echo yes || echo "no: $lookups")"
expect_eq "bus wait: the tty session's properties only" 1 "$(stub_calls loginctl | grep -c '^3$')"
session_stop "$ALICE_TMP_LISTENER"

# --- The leader's address "unix:path=" is rejected; the process scan passes
# over another user's process and a process with only the _OLD variable and
# finds dave's bus. The directory client marks dave as a domain account.
session_clear
session_line "6 $D dave seat0 tty6"
session_props 6 wayland yes
session_user_process erin "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$E/bus" || exit 1
session_user_process dave "DBUS_SESSION_BUS_ADDRESS=unix:path=" || exit 1
LEADER=$SESSION_PID
session_leader 6 "$LEADER"
session_user_process dave "DBUS_SESSION_BUS_ADDRESS_OLD=unix:path=/run/user/$D/old" || exit 1
session_user_process dave "LANG=C" "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$D/bus,guid=0123" || exit 1
DAVE=$SESSION_PID
directory_entry dave <<<"Name: dave@corp.example"
reset_calls
capture "$DRIVER" pass
expect_eq "leader rejected: dave's session picked" "$(record dave "$D" "/run/user/$D/bus" "unix:path=/run/user/$D/bus,guid=0123" domain)" "$(session_of "$OUT")"
expect_eq "leader rejected: log" "[probe] sessions: 1
[probe] sid: \"6\" uid: \"$D\" user: \"dave\"
[probe] type: \"wayland\" active: \"yes\"
[addr] from proc environ pid $DAVE
[probe] address: \"unix:path=/run/user/$D/bus,guid=0123\" waited(ms) N
[probe] picked user: \"dave\" uid: $D addr: \"unix:path=/run/user/$D/bus,guid=0123\" account: domain" "$(without_ms "$ERR")"
expect_eq "leader rejected: loginctl calls" "$LIST_CALL $(props_call 6) $LIST_CALL show-session 6 -p Leader --value --" "$(calls loginctl)"

# With a usable address in the leader's environment, the leader is the source.
session_leader 6 "$DAVE"
capture "$DRIVER" bus dave
expect_eq "leader: address" "address=unix:path=/run/user/$D/bus,guid=0123" "$(session_of "$OUT")"
expect_eq "leader: log" "[addr] from leader environ" "$ERR"

# --- Lines that fail one by one, and then no pick.
session_clear
session_line "  9   $A"
session_line "10 $A alice seat0"
session_line "11 $A alice seat0"
printf '\nyes\n' >"$SESSIONS/11.props"
session_line "12 $A alice seat0"
session_props 12 X11 yes
session_line "13 $A alice seat0"
session_props 13 wayland no
session_line "14 $A alice seat0"
session_props 14 wayland yes
echo 1 >"$SESSIONS/14.props.rc"
capture "$DRIVER" pass
expect_eq "failing lines: no session" "session=none" "$(session_of "$OUT")"
expect_eq "failing lines: log" "[probe] sessions: 6
[probe] skip line: \"  9   $A\"
[probe] sid: \"10\" uid: \"$A\" user: \"alice\"
[probe] show-session failed for \"10\"
[probe] sid: \"11\" uid: \"$A\" user: \"alice\"
[probe] bad props for \"11\"
[probe] sid: \"12\" uid: \"$A\" user: \"alice\"
[probe] type: \"X11\" active: \"yes\"
[probe] not active GUI
[probe] sid: \"13\" uid: \"$A\" user: \"alice\"
[probe] type: \"wayland\" active: \"no\"
[probe] not active GUI
[probe] sid: \"14\" uid: \"$A\" user: \"alice\"
[probe] show-session failed for \"14\"
[probe] no active GUI sessions" "$ERR"

session_clear
capture "$DRIVER" pass
expect_eq "empty list: log" "[probe] sessions: 0
[probe] no active GUI sessions" "$ERR"

# --- The retry wrapper: a log line and a pause after every failed pass,
# the last one included.
rm -f "$SESSIONS/list"
reset_calls
capture "$DRIVER" probe 3 200
expect_eq "retry: nobody found" "session=none" "$(session_of "$OUT")"
expect_eq "retry: log" "[probe] loginctl list-sessions failed
[probe] retry 1 / 3 sleep 200 ms
[probe] loginctl list-sessions failed
[probe] retry 2 / 3 sleep 200 ms
[probe] loginctl list-sessions failed
[probe] retry 3 / 3 sleep 200 ms" "$ERR"
expect_eq "retry: three passes" "$LIST_CALL $LIST_CALL $LIST_CALL" "$(calls loginctl)"
retry_ms=$(elapsed_of "$OUT")
echo "three failed passes with 200 ms pauses: ${retry_ms} ms"
expect_eq "retry: three pauses, the last included" yes "$([ "$retry_ms" -ge 600 ] && [ "$retry_ms" -lt 1600 ] && echo yes || echo "no: $retry_ms")"

reset_calls
capture "$DRIVER" probe 0 200
expect_eq "retry, no attempts: nothing, no log, no loginctl" "session=none||" "$(session_of "$OUT")|$ERR|$(calls loginctl)"

# A session that appears while the wrapper waits is found by a later pass.
(
    sleep 0.5
    printf '2 %s alice seat0 tty2\n' "$A" >"$SESSIONS/list.new"
    session_props 2 x11 yes
    mv "$SESSIONS/list.new" "$SESSIONS/list"
) &
writer=$!
capture "$DRIVER" probe 10 200
expect_eq "retry: alice found by a later pass" "$(record alice "$A" "/run/user/$A/bus" "unix:path=/run/user/$A/bus" local)" "$(session_of "$OUT")"
expect_match "retry: first pass failed and was retried" "^\[probe\] loginctl list-sessions failed
\[probe\] retry 1 / 10 sleep 200 ms
" "$ERR"
expect_match "retry: ends with the pick" "\[probe\] picked user: \"alice\" uid: $A addr: \"unix:path=/run/user/$A/bus\" account: local$" "$ERR"
wait "$writer"

sandbox_finish
