#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The real settings shell: the build is installed into a staging prefix,
# kcmshell5 opens the page from there on a private X server (Xvfb), with the
# policy files of a private /etc, and Apply saves through the real KAuth
# framework, a private system bus with polkitd and the installed helper.
# Screenshots of the window are kept in the build directory. The shell is
# kcmshell5 for the build with KDE Frameworks 5, kcmshell6 for KF6.
#   kcm_shell_test.sh BUILD_DIR QT_MAJOR_VERSION
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/kauth.sh"
sandbox_enter --net "$@"

BUILD=$1
KF=${2:-5}
SETTINGS_SHELL=kcmshell$KF
SHOTS="$BUILD/screenshots"
mkdir -p "$SHOTS"

for tool in "$SETTINGS_SHELL" Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $SANDBOX_SKIP
    fi
done

# --- the staging prefix, with the helper reachable on a private system bus
kauth_stage "$BUILD"
STAGE=$KAUTH_STAGE
kauth_start "$STAGE"
if [ "$KF" = 6 ]; then
    # KF6's shells find the page by its plug-in's JSON metadata, in the
    # directory of widget-based settings modules.
    PLUGIN=$(find "$STAGE" -name kcm_pwexpiry.so | head -n1)
    expect_match "plug-in installed among the settings modules" '/qt6/plugins/plasma/kcms/systemsettings_qwidgets/kcm_pwexpiry\.so$' "$PLUGIN"
    PLUGIN_DIR=$(dirname "$(dirname "$(dirname "$(dirname "$PLUGIN")")")")
else
    PLUGIN=$(find "$STAGE" -name libkcm_pwexpiry.so | head -n1)
    expect_match "plug-in installed in a Qt plug-in directory" '/qt5/plugins/libkcm_pwexpiry\.so$' "$PLUGIN"
    PLUGIN_DIR=$(dirname "$PLUGIN")
    SERVICE="$STAGE/usr/share/kservices5/kcm_pwexpiry.desktop"
    expect_contains "service description names the library" "X-KDE-Library=kcm_pwexpiry" "$(cat "$SERVICE" 2>/dev/null)"
fi
MENU_EXEC=$(sed -n 's/^Exec=//p' "$STAGE"/usr/share/applications/*.desktop 2>/dev/null)
expect_eq "application-menu entry opens the page in the shell" "$SETTINGS_SHELL kcm_pwexpiry" "$MENU_EXEC"

# --- a distinctive policy
printf 'MAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t4321\nPASS_MIN_DAYS\t3\nPASS_WARN_AGE\t11\n' >/etc/login.defs
printf 'GROUP=100\nINACTIVE=21\nEXPIRE=2031-07-04\nSHELL=/bin/sh\n' >/etc/default/useradd
sandbox_write_settings true false 9

# --- a private X server and a private home
# The server's sockets are private to this sandbox: its network namespace
# holds the abstract ones and a directory of its own the socket files. Its
# lock files would be shared with the machine's /tmp, and in a PID namespace
# the server would take another server's lock for a stale one, so it runs
# without them.
mkdir -p "$SANDBOX/x11-unix" /tmp/.X11-unix
chmod 1777 "$SANDBOX/x11-unix"
mount --bind "$SANDBOX/x11-unix" /tmp/.X11-unix || exit 1
exec 3>"$SANDBOX/display"
Xvfb -displayfd 3 -nolock -screen 0 1024x768x24 -nolisten tcp >"$SANDBOX/xvfb.log" 2>&1 &
echo $! >"$SANDBOX/xvfb.pid"
exec 3>&-
for _ in $(seq 1 100); do
    [ -s "$SANDBOX/display" ] && break
    sleep 0.05
done
if [ ! -s "$SANDBOX/display" ]; then
    cat "$SANDBOX/xvfb.log"
    echo "FAIL: Xvfb did not start"
    exit 1
fi
export DISPLAY=":$(head -n1 "$SANDBOX/display")"

export HOME="$SANDBOX/home/root"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$HOME/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_DATA_DIRS="$STAGE/usr/share:/usr/share"
export QT_PLUGIN_PATH=$PLUGIN_DIR
unset QT_QPA_PLATFORM

# A plug-in built with the sanitizers needs their runtime loaded first into
# the shell, which is not built with them; leaks of the shell itself are not
# ours to report, errors in the plug-in still end the shell.
SHELL_ENV=()
ASAN_RUNTIME=$(ldd "$PLUGIN" 2>/dev/null | awk '/libasan/ {print $3}')
if [ -n "$ASAN_RUNTIME" ]; then
    SHELL_ENV=(env LD_PRELOAD="$ASAN_RUNTIME" ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0")
fi

# Starts the shell once, as the menu entry does; sets SHELL_PID and WINDOW.
# The shell runs in a directory of its own with core dumps enabled and
# KDE_DEBUG set, so that the crash handler stays out of the way and a crash
# leaves a core file there.
launch_shell() {
    rm -rf "$SANDBOX/core"
    mkdir -p "$SANDBOX/core"
    (
        cd "$SANDBOX/core" || exit 1
        ulimit -c unlimited
        # shellcheck disable=SC2086
        exec env KDE_DEBUG=1 "${SHELL_ENV[@]}" $MENU_EXEC >"$SANDBOX/shell.out" 2>"$SANDBOX/shell.err"
    ) &
    SHELL_PID=$!
    echo "$SHELL_PID" >"$SANDBOX/kcmshell.pid"
    WINDOW=
    for _ in $(seq 1 150); do
        WINDOW=$(xdotool search --onlyvisible --name 'Password Expiration Policy' 2>/dev/null | head -n1)
        [ -n "$WINDOW" ] && break
        kill -0 "$SHELL_PID" 2>/dev/null || break
        sleep 0.1
    done
}

# Prints why the shell has no window: its output and, after a crash, a
# backtrace of every thread from its core file. Returns 0 when a signal has
# ended the shell, without a sanitizer report and with no frame of the
# backtrace in this project's code.
explain_missing_window() {
    local status core trace
    if kill -0 "$SHELL_PID" 2>/dev/null; then
        echo "--- the shell runs, but its window did not appear; its output:"
        sed 's/^/      shell: /' "$SANDBOX/shell.err"
        return 1
    fi
    wait "$SHELL_PID" 2>/dev/null
    status=$?
    echo "--- the shell ended before its window appeared (exit status $status); its output:"
    sed 's/^/      shell: /' "$SANDBOX/shell.err"
    [ "$status" -gt 128 ] || return 1
    grep -q -E "$SANITIZER_REPORT" "$SANDBOX/shell.err" && return 1
    core=$(find "$SANDBOX/core" -maxdepth 1 -type f -name 'core*' | head -n1)
    if [ -n "$core" ] && command -v gdb >/dev/null 2>&1; then
        trace=$(gdb -batch -q -ex 'thread apply all bt' "$(command -v "$SETTINGS_SHELL")" "$core" 2>&1)
        printf '%s\n' "$trace" | sed 's/^/      gdb: /'
        if printf '%s\n' "$trace" | grep -q -E '^#[0-9]+ .*(kcm_pwexpiry|PasswordExpirationPolicy::|KCMTN::|KCMOV::)'; then
            return 1
        fi
    fi
    return 0
}

# Starts the shell and waits for the page's window; sets SHELL_PID and
# WINDOW. The shell has been seen to abort at start, once in many runs and
# before any window showed: such a start is reported in full and tried once
# more, unless the crash is in this project's code.
start_shell() {
    launch_shell
    [ -n "$WINDOW" ] && return
    explain_missing_window || return
    echo "--- starting the shell once more"
    launch_shell
    [ -n "$WINDOW" ] || explain_missing_window
}

stop_shell() {
    expect_no_match "no sanitizer report from the plug-in" "$SANITIZER_REPORT" "$(cat "$SANDBOX/shell.err")"
    kill "$SHELL_PID" 2>/dev/null
    wait "$SHELL_PID" 2>/dev/null
    rm -f "$SANDBOX/kcmshell.pid"
}

# Height of the shell's window in pixels.
window_height() {
    xdotool getwindowgeometry "$WINDOW" 2>/dev/null | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'
}

# screenshot NAME: the shell's window as a PNG in the build directory.
screenshot() {
    [ -n "$WINDOW" ] || return
    sleep 0.5
    import -window "$WINDOW" "$SHOTS/$1.png" 2>/dev/null
    expect_eq "screenshot $1.png saved" "yes" "$([ -s "$SHOTS/$1.png" ] && echo yes || echo no)"
}

# --- the page shows the machine's policy, and Apply saves it
start_shell
expect_match "the shell shows the page's window" '^[0-9]+$' "$WINDOW"
expect_no_match "the plug-in was loaded" 'Could not load plugin|Error loading|Could not find|not a valid' "$(cat "$SANDBOX/shell.err")"
expect_match "window title" 'Password Expiration Policy' "$(xdotool getwindowname "$WINDOW" 2>/dev/null)"
screenshot kcmshell-policy
PLAIN_HEIGHT=$(window_height)

# Switch the minimum age off and apply, from the keyboard: the page's check
# box and the dialog's Apply button by their accelerators. Every other value
# is saved as the page loaded it.
login_before=$(cat /etc/login.defs)
if [ -n "$WINDOW" ]; then
    xdotool windowfocus "$WINDOW"
    sleep 0.3
    xdotool key alt+t
    sleep 0.3
    xdotool key alt+a
fi
for _ in $(seq 1 100); do
    grep -q '^PASS_MIN_DAYS	0$' /etc/login.defs && break
    sleep 0.1
done
expect_eq "Apply: login.defs saved through the helper" \
    "$(printf '%s\n' "$login_before" | sed 's/^PASS_MIN_DAYS\t.*/PASS_MIN_DAYS\t0/')" "$(cat /etc/login.defs)"
expect_eq "Apply: useradd defaults saved as loaded" "$(printf 'GROUP=100\nINACTIVE=21\nEXPIRE=2031-07-04\nSHELL=/bin/sh')" "$(cat /etc/default/useradd)"
# The same values in place: the file is byte for byte what it was.
expect_eq "Apply: reminder settings saved as loaded" \
    "$(printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=9')" "$(cat /etc/password-expiration-policy/config.ini)"
screenshot kcmshell-applied

# A minimum above the maximum is refused: nothing is written, the page keeps
# the entries and says why.
before=$(cat /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini)
if [ -n "$WINDOW" ]; then
    xdotool key alt+t
    sleep 0.2
    xdotool key Tab ctrl+a
    xdotool type 5000
    sleep 0.2
    xdotool key alt+a
    sleep 1
fi
expect_eq "Apply with minimum 5000 above maximum 4321: nothing written" "$before" \
    "$(cat /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini)"
# The message banner makes the window grow.
expect_match "Apply with minimum above maximum: a message appears" '^[1-9]' "$(( $(window_height) - PLAIN_HEIGHT ))"
screenshot kcmshell-refused
stop_shell

if [ "$KF" = 6 ]; then
    # --- System Settings and kcmshell6 list the page from its metadata
    expect_contains "kcmshell6 --list shows the page" "kcm_pwexpiry" \
        "$(QT_QPA_PLATFORM=offscreen timeout 60 kcmshell6 --list 2>/dev/null)"
    expect_contains "System Settings lists the page" "kcm_pwexpiry" \
        "$(QT_QPA_PLATFORM=offscreen timeout 60 systemsettings --list 2>/dev/null)"
else
    # --- the System Settings entry: a JSON-metadata plug-in that the shell
    # finds by its id and that creates the same page
    ENTRY="$(dirname "$PLUGIN")/plasma/kcms/systemsettings_qwidgets/kcm_pwexpiry_systemsettings.so"
    expect_eq "System Settings entry installed" "yes" "$([ -f "$ENTRY" ] && echo yes || echo no)"
    MENU_EXEC_SAVED=$MENU_EXEC
    MENU_EXEC="kcmshell5 kcm_pwexpiry_systemsettings"
    start_shell
    MENU_EXEC=$MENU_EXEC_SAVED
    expect_match "System Settings entry: the shell shows the page" '^[0-9]+$' "$WINDOW"
    expect_no_match "System Settings entry: no loading error" 'Could not load plugin|Error loading|Could not find|not a valid|cannot load' "$(cat "$SANDBOX/shell.err")"
    screenshot kcmshell-systemsettings-entry
    stop_shell
fi

# --- a policy that cannot be read: the page opens with its switches off and
# the framework's message on top
printf 'PASS_MAX_DAYS\t4321\nPASS_MAX_DAYS\t4321\n' >/etc/login.defs
start_shell
expect_match "unreadable policy: the shell still shows the page" '^[0-9]+$' "$WINDOW"
expect_no_match "unreadable policy: the plug-in was loaded" 'Could not load plugin|Error loading|Could not find|not a valid' "$(cat "$SANDBOX/shell.err")"
screenshot kcmshell-load-error
expect_match "unreadable policy: a message appears" '^[1-9]' "$(( $(window_height) - PLAIN_HEIGHT ))"
stop_shell

kauth_expect_clean_exit orvane.kcm.policyexpiration
if [ "$SANDBOX_FAILED" -ne 0 ]; then
    sed 's/^/      shell: /' "$SANDBOX/shell.err"
    kauth_logs
fi
sandbox_finish
