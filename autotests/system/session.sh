# SPDX-License-Identifier: GPL-2.0-or-later
# Login sessions for the system tests: a scripted loginctl, a scripted
# directory client, real listening Unix sockets and real processes of test
# users.
#
# Source after sandbox.sh; call session_setup after `sandbox_enter --net`, so
# that /proc/net/unix lists only the sockets the test makes:
#
#   . "$(dirname "$0")/sandbox.sh"
#   . "$(dirname "$0")/session.sh"
#   sandbox_enter --net "$@"
#   session_setup
#   session_line "2 1001 alice seat0 tty2"; session_props 2 wayland yes
#   session_listen alice /run/user/1001/bus
#
# Scripted loginctl: "list-sessions" prints $SESSIONS/list, "show-session ID
# -p Leader" prints $SESSIONS/ID.leader, any other "show-session ID" prints
# $SESSIONS/ID.props. A missing file makes the call exit 1; a file F.rc holds
# an exit status to end with after printing F; a file F.sleep holds seconds to
# wait before printing. Calls are recorded as with sandbox_stub.
#
# Scripted sssctl: "user-show NAME" prints $DIRECTORY/NAME and exits 0, or
# exits 1 when there is no such file (as for a name the directory does not
# know); NAME.sleep and NAME.rc work as for loginctl.

PYTHON=/usr/bin/python3

session_setup() {
    SESSIONS=$SANDBOX/sessions
    DIRECTORY=$SANDBOX/directory
    mkdir -p "$SESSIONS" "$DIRECTORY"

    # Sockets under "/tmp/dbus-": the machine's /tmp is shared with the
    # sandbox, so they get a directory of their own, removed at the end.
    SESSION_TMP=$(mktemp -d /tmp/dbus-pwexpiry.XXXXXX) || exit 1
    chmod 1777 "$SESSION_TMP"
    trap 'rm -rf "$SESSION_TMP"; sandbox_cleanup' EXIT

    # A private /run/user for runtime bus sockets.
    if [ -d /run/user ]; then
        mount -t tmpfs -o mode=755 tmpfs /run/user || exit 1
    else
        sandbox_add_to_dir /run && mkdir -p /run/user || exit 1
    fi

    # Log lines in Qt's plain default form.
    unset QT_MESSAGE_PATTERN QT_LOGGING_RULES

    {
        printf "dir='%s'\n" "$SESSIONS"
        cat <<'STUB'
case "$1" in
list-sessions) f=$dir/list ;;
show-session)
    if [ "${3:-}" = -p ] && [ "${4:-}" = Leader ]; then f=$dir/$2.leader; else f=$dir/$2.props; fi ;;
*) exit 1 ;;
esac
[ -f "$f.sleep" ] && sleep "$(cat "$f.sleep")"
[ -f "$f" ] || exit 1
cat "$f"
[ -f "$f.rc" ] && exit "$(cat "$f.rc")"
exit 0
STUB
    } | sandbox_stub /usr/bin/loginctl || exit 1

    {
        printf "dir='%s'\n" "$DIRECTORY"
        cat <<'STUB'
[ "$1" = user-show ] || exit 1
f=$dir/$2
[ -f "$f.sleep" ] && sleep "$(cat "$f.sleep")"
[ -f "$f" ] || exit 1
cat "$f"
[ -f "$f.rc" ] && exit "$(cat "$f.rc")"
exit 0
STUB
    } | sandbox_stub /usr/sbin/sssctl || exit 1
}

# Adds a line to the session list as it stands: session_line "2 1001 alice seat0"
session_line() {
    printf '%s\n' "$1" >>"$SESSIONS/list"
}

# Empties the session list (an existing, empty list, not a failing loginctl).
session_clear() {
    : >"$SESSIONS/list"
    rm -f "$SESSIONS"/*.props "$SESSIONS"/*.leader
}

# The Type and Active values show-session prints: session_props ID TYPE ACTIVE
session_props() {
    printf '%s\n%s\n' "$2" "$3" >"$SESSIONS/$1.props"
}

# The session's leader process: session_leader ID PID
session_leader() {
    printf '%s\n' "$2" >"$SESSIONS/$1.leader"
}

# What the directory client prints for a name: directory_entry NAME <<< TEXT
directory_entry() {
    cat >"$DIRECTORY/$1"
}

# Sets AS_USER to the command prefix that runs a command as USER, with USER's
# primary group and no others. setpriv is replaced by the command, so a
# command started in the background as "${AS_USER[@]}" cmd & has the id $!.
_as_user() {
    AS_USER=(setpriv --reuid="$1" --regid="$(id -g "$1")" --clear-groups)
}

# Starts a process of USER that listens on a Unix socket at PATH (a leading
# "@" makes it abstract) and waits until /proc/net/unix lists it. Its process
# id is left in $SESSION_PID.
session_listen() {
    local user=$1 path=$2 i
    _as_user "$user"
    "${AS_USER[@]}" "$PYTHON" -c '
import socket, sys, time
path = sys.argv[1]
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind("\0" + path[1:] if path.startswith("@") else path)
s.listen(4)
time.sleep(600)
' "$path" &
    SESSION_PID=$!
    for i in $(seq 100); do
        awk -v p="$path" '$8 == p {found = 1} END {exit !found}' /proc/net/unix && return 0
        sleep 0.05
    done
    echo "session_listen: $path did not appear in /proc/net/unix" >&2
    return 1
}

# A runtime directory /run/user/UID owned by USER: session_runtime_dir USER
session_runtime_dir() {
    local dir=/run/user/$(id -u "$1")
    mkdir -p "$dir" && chown "$1:" "$dir" && chmod 700 "$dir"
}

# Starts a long-running process of USER with exactly the given environment
# (VAR=VALUE ...) and waits until it runs. Its process id is left in
# $SESSION_PID.
session_user_process() {
    local user=$1 i
    shift
    _as_user "$user"
    "${AS_USER[@]}" /usr/bin/env -i "$@" /bin/sleep 600 &
    SESSION_PID=$!
    for i in $(seq 100); do
        [ "$(cat "/proc/$SESSION_PID/comm" 2>/dev/null)" = sleep ] && return 0
        sleep 0.05
    done
    echo "session_user_process: process of $user did not start" >&2
    return 1
}

# Ends a process started by session_listen or session_user_process.
session_stop() {
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
} 2>/dev/null

# Log lines with the milliseconds after "waited(ms)" replaced by N.
without_ms() {
    printf '%s' "$1" | sed -E 's/waited\(ms\) [0-9]+/waited(ms) N/'
}

# The milliseconds of the first log line that matches PATTERN and has "waited(ms)".
waited_ms() {
    printf '%s\n' "$2" | grep -F -- "$1" | sed -nE 's/.*waited\(ms\) ([0-9]+).*/\1/p' | head -n1
}

# Milliseconds since the epoch.
now_ms() {
    echo $(($(date +%s%N) / 1000000))
}
