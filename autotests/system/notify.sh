# SPDX-License-Identifier: GPL-2.0-or-later
# A desktop session for end-to-end tests, on top of sandbox.sh: a user's own
# session bus at /run/user/<uid>/bus, a notification server on it that records
# every reminder, and a stand-in loginctl that lists the user's graphical
# session.
#
#   . "$(dirname "$0")/sandbox.sh"
#   . "$(dirname "$0")/notify.sh"
#   sandbox_enter --net "$@"
#   sandbox_useradd alice
#   notify_start_session alice            # bus + notification server + loginctl
#   ... run the notifier ...
#   notify_received alice                 # summary|body|icon|replaces_id|urgency per Notify
#
# /run/user is a private tmpfs inside the sandbox, never the machine's. With
# sandbox_enter --net the socket table (/proc/net/unix) holds only the
# sandbox's sockets, so the session bus is found there.

NOTIFY_DIR=$(dirname "${BASH_SOURCE[0]}")

# Makes /run/user a private, empty tmpfs (once) and creates the user's
# runtime directory in it.
notify_runtime_dir() {
    local user=$1 uid
    uid=$(id -u "$user") || return 1
    if [ ! -e "$SANDBOX/run-user.mounted" ]; then
        if [ ! -d /run/user ]; then
            sandbox_add_to_dir /run || return 1
            [ "$(sandbox_fstype /run)" = overlay ] || return 1
            mkdir /run/user || return 1
        fi
        mount -t tmpfs -o mode=755 tmpfs /run/user || return 1
        : >"$SANDBOX/run-user.mounted"
    fi
    install -d -m 700 -o "$user" -g "$(id -g "$user")" "/run/user/$uid"
}

# Starts a session bus as the user, listening on /run/user/<uid>/bus.
# Sets NOTIFY_BUS_ADDRESS.
notify_start_bus() {
    local user=$1 uid out
    uid=$(id -u "$user") || return 1
    notify_runtime_dir "$user" || return 1
    out=$(runuser -u "$user" -- dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 \
        --address="unix:path=/run/user/$uid/bus") || return 1
    NOTIFY_BUS_ADDRESS=$(sed -n 1p <<<"$out")
    sed -n 2p <<<"$out" >"$SANDBOX/bus-$user.pid"
    [ -S "/run/user/$uid/bus" ]
}

# Starts the notification server as the user on NOTIFY_BUS_ADDRESS and waits
# until it owns org.freedesktop.Notifications.
notify_start_server() {
    local user=$1 log ready i
    log=$(notify_log "$user")
    ready="$SANDBOX/calls/notify-ready-$user"
    install -m 644 "$NOTIFY_DIR/notificationserver.py" "$SANDBOX/notificationserver.py"
    install -m 644 -o "$user" /dev/null "$log"
    rm -f "$ready"
    runuser -u "$user" -- env DBUS_SESSION_BUS_ADDRESS="$NOTIFY_BUS_ADDRESS" \
        /usr/bin/python3 "$SANDBOX/notificationserver.py" "$log" "$ready" \
        >"$SANDBOX/notify-server-$user.out" 2>&1 &
    echo $! >"$SANDBOX/notify-server-$user.pid"
    for i in $(seq 100); do
        [ -e "$ready" ] && return 0
        sleep 0.05
    done
    echo "notification server did not start:" >&2
    cat "$SANDBOX/notify-server-$user.out" >&2
    return 1
}

notify_log() {
    echo "$SANDBOX/calls/notifications-$1.jsonl"
}

# Prints one line per reminder the user's server received:
# summary|body|icon|replaces_id|urgency
notify_received() {
    /usr/bin/python3 -c '
import json, sys
for line in open(sys.argv[1]):
    n = json.loads(line)
    print("|".join(str(n[k]) for k in ("summary", "body", "icon", "replaces_id", "urgency")))
' "$(notify_log "$1")"
}

# Forgets the reminders received so far.
notify_clear() {
    : >"$(notify_log "$1")"
}

# Replaces loginctl by a stand-in that lists one session of the user:
#   notify_stub_loginctl USER [TYPE] [ACTIVE]     (defaults: x11, yes)
# show-session prints the requested properties in loginctl's own order
# (Type, then Active); no Leader is known.
notify_stub_loginctl() {
    local user=$1 type=${2:-x11} active=${3:-yes} uid
    uid=$(id -u "$user") || return 1
    sandbox_stub /usr/bin/loginctl <<STUB
case "\$1" in
list-sessions)
    printf '%10s %10s %-8s %-5s %s\n' c7 $uid $user seat0 tty7
    ;;
show-session)
    case " \$* " in *" -p Type "*) echo '$type' ;; esac
    case " \$* " in *" -p Active "*) echo '$active' ;; esac
    case " \$* " in *" -p Leader "*) exit 1 ;; esac
    ;;
*)
    exit 1
    ;;
esac
STUB
}

# The whole desktop side for a user: bus, notification server, loginctl.
notify_start_session() {
    notify_start_bus "$1" && notify_start_server "$1" && notify_stub_loginctl "$1"
}
