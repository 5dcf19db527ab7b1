# SPDX-License-Identifier: GPL-2.0-or-later
# A private system bus with the real polkitd, for end-to-end tests of the
# privileged save through the real KAuth framework and the installed helper.
#
# Source it after sandbox.sh, inside the sandbox (it bind-mounts over
# system paths, which only the sandbox's private mount namespace allows):
#
#   . "$(dirname "$0")/sandbox.sh"
#   . "$(dirname "$0")/kauth.sh"
#   sandbox_enter "$@"
#   kauth_stage /path/to/build          # DESTDIR install; sets KAUTH_STAGE
#   kauth_start "$KAUTH_STAGE"          # bus + polkitd, helper files from the stage
#   "$NOTIFIER" --set-local enable      # saveConf reaches the staged helper as root
#   sandbox_finish
#
# The build must be configured with -DCMAKE_INSTALL_PREFIX=/usr: the helper
# path in the D-Bus service file and the polkit policy directory are fixed at
# configure time, so only a DESTDIR stage of a /usr build has the files where
# the bus and polkitd look for them.
#
# kauth_start, in the private mount namespace:
# - binds a fresh directory over /run/dbus, so the default system-bus address
#   (unix:path=/run/dbus/system_bus_socket) reaches the private bus and no
#   environment variable is needed;
# - binds the stage's helper directory (the directory of the Exec= path in
#   its D-Bus service files, /usr/lib/kauth/libexec on Debian 12) over the
#   real one;
# - binds a copy of /usr/share/polkit-1/actions plus the stage's .policy
#   files over that directory (polkitd reads actions only from there);
# - starts dbus-daemon with a small system-bus configuration: the stock deny
#   policy, EXTERNAL authentication, the stage's system-services as the only
#   service directory, and /usr/share/dbus-1/system.d (whose KAuth file lets
#   callers reach the helper interface and whose polkit file lets polkitd own
#   its name) plus the stage's system.d. Without <user> and <servicehelper>
#   the daemon runs as root and starts the helper itself, as root;
# - starts /usr/lib/polkit-1/polkitd and waits until org.freedesktop.PolicyKit1
#   has an owner.
# kauth_expect_clean_exit HELPER_ID, at the end of a test, lets a helper built
# with the sanitizers quit on its own and fails for any report of theirs.
# Both daemons are stopped by sandbox_cleanup through their files
# $SANDBOX/*.pid, or earlier by kauth_stop. Their output, and the helper's,
# goes to $SANDBOX/kauth/*.log; kauth_logs prints it.
#
# Without dbus-daemon, polkitd or dbus-send the test exits 77 (skipped).
# Root is authorised without an authentication agent; an unprivileged caller
# has no agent and is refused before the helper is reached.

KAUTH_POLKITD=/usr/lib/polkit-1/polkitd

# Installs the build into $SANDBOX/stage: kauth_stage BUILD_DIR
kauth_stage() {
    KAUTH_STAGE="$SANDBOX/stage"
    if ! DESTDIR="$KAUTH_STAGE" cmake --install "$1" >"$SANDBOX/install.log" 2>&1; then
        cat "$SANDBOX/install.log"
        echo "FAIL: cmake --install $1"
        exit 1
    fi
    export KAUTH_STAGE
}

# Makes a directory a mount point of its own for this sandbox, creating it in
# an overlay of its parent when it does not exist on the machine.
_kauth_bind_dir() {
    local source=$1 target=$2
    if [ ! -d "$target" ]; then
        sandbox_add_to_dir "$(dirname "$target")" || return 1
        mkdir -p "$target" || return 1
    fi
    mount --bind "$source" "$target"
}

# Starts the private system bus and polkitd: kauth_start STAGE
kauth_start() {
    _kauth_prepare "$1"
    _kauth_launch
}

# Stops and starts the bus and polkitd again, in the caller's environment
# (which the helper then starts in): kauth_restart
kauth_restart() {
    kauth_stop
    _kauth_launch
}

# The bind mounts and the bus configuration, once per sandbox.
_kauth_prepare() {
    local stage=$1 tool
    for tool in dbus-daemon dbus-send "$KAUTH_POLKITD"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed"
            exit $SANDBOX_SKIP
        fi
    done
    local dir="$SANDBOX/kauth"
    mkdir -p "$dir/run-dbus" "$dir/polkit-actions"
    chmod 755 "$dir" "$dir/run-dbus"

    local services="$stage/usr/share/dbus-1/system-services"
    local helperdirs
    helperdirs=$(sed -n 's|^Exec=\(.*\)/[^/]*$|\1|p' "$services"/*.service 2>/dev/null | sort -u)
    if [ -z "$helperdirs" ]; then
        echo "FAIL: no D-Bus system service in $services"
        exit 1
    fi
    local helperdir
    for helperdir in $helperdirs; do
        _kauth_bind_dir "$stage$helperdir" "$helperdir" || exit 1
    done

    cp -a /usr/share/polkit-1/actions/. "$dir/polkit-actions/" || exit 1
    cp "$stage"/usr/share/polkit-1/actions/*.policy "$dir/polkit-actions/" || exit 1
    mount --bind "$dir/polkit-actions" /usr/share/polkit-1/actions || exit 1
    _kauth_bind_dir "$dir/run-dbus" /run/dbus || exit 1

    cat >"$dir/system-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <auth>EXTERNAL</auth>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <servicedir>$services</servicedir>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus" send_member="UpdateActivationEnvironment"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
  <includedir>$stage/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF
}

_kauth_launch() {
    local dir="$SANDBOX/kauth"
    # DBUS_DEBUG_OUTPUT keeps the forked daemon's standard error (and so the
    # activated helper's) instead of sending it to /dev/null.
    local pid
    pid=$(DBUS_DEBUG_OUTPUT=1 dbus-daemon --config-file="$dir/system-bus.conf" --fork --print-pid=1 2>>"$dir/dbus-daemon.log") || {
        cat "$dir/dbus-daemon.log"
        echo "FAIL: dbus-daemon did not start"
        exit 1
    }
    echo "$pid" >"$SANDBOX/dbus-daemon.pid"

    "$KAUTH_POLKITD" --no-debug >>"$dir/polkitd.log" 2>&1 &
    echo $! >"$SANDBOX/polkitd.pid"

    local i
    # Within 30 s: on a machine busy with sanitizer builds 10 s were not always enough.
    for i in $(seq 1 600); do
        kauth_name_has_owner org.freedesktop.PolicyKit1 && return 0
        sleep 0.05
    done
    kauth_logs
    echo "FAIL: polkitd did not appear on the private system bus"
    exit 1
}

# True while a name has an owner on the private system bus.
kauth_name_has_owner() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
        grep -q 'boolean true'
}

# For a helper built with the sanitizers: kauth_expect_clean_exit HELPER_ID
# Waits until the helper has quit on its own (a KAuth helper quits after
# about ten idle seconds), so that the leak check at its exit has run, and
# records a failure for any sanitizer report in its output. Does nothing for
# a helper built without them.
kauth_expect_clean_exit() {
    local id=$1 exe
    exe=$(sed -n 's/^Exec=//p' "$KAUTH_STAGE/usr/share/dbus-1/system-services/$id.service")
    grep -q __asan_init "$KAUTH_STAGE$exe" 2>/dev/null || return 0
    local i
    for i in $(seq 1 300); do
        kauth_name_has_owner "$id" || break
        sleep 0.1
    done
    expect_eq "$id: quit on its own" "ended" "$(kauth_name_has_owner "$id" && echo running || echo ended)"
    sleep 0.5 # the report is written while the process ends
    expect_no_match "$id: no sanitizer report" "$SANITIZER_REPORT" "$(cat "$SANDBOX/kauth/dbus-daemon.log")"
}

# Stops polkitd and the bus (and with it the helper's connection).
kauth_stop() {
    local f pid i
    for f in "$SANDBOX/polkitd.pid" "$SANDBOX/dbus-daemon.pid"; do
        [ -f "$f" ] || continue
        pid=$(cat "$f")
        rm -f "$f"
        kill "$pid" 2>/dev/null || continue
        # A bus daemon removes its socket file when it ends: one that ends
        # after the next one has started takes that one's socket with it.
        for i in $(seq 100); do
            _kauth_alive "$pid" || break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null
    done
}

# Whether process PID still runs (an ended child not yet reaped does not).
_kauth_alive() {
    local state
    state=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
    [ -n "$state" ] && [ "$state" != Z ]
}

kauth_logs() {
    local f
    for f in "$SANDBOX"/kauth/*.log; do
        [ -s "$f" ] && { echo "--- $f"; cat "$f"; }
    done
}
