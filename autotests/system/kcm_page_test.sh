#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The settings page against the real policy files in a private /etc: the
# QtTest program kcmpolicytest loads the built plug-in, creates the page
# through its factory and drives the shell's load() and save(): first with no
# system bus at all, then through the real KAuth framework, a private system
# bus with the real polkitd and the installed helper, as root and as an
# unprivileged user.
#   kcm_page_test.sh BUILD_DIR KCMPOLICYTEST PLUGIN
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/kauth.sh"
sandbox_enter "$@"

BUILD=$1
TEST=$(sandbox_install_bin "$2")
PLUGIN=$(sandbox_install_bin "$3")
export QT_QPA_PLATFORM=offscreen PWEXPIRY_PLUGIN="$PLUGIN"
export HOME="$SANDBOX/home/root" XDG_RUNTIME_DIR="$SANDBOX/home/root/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# Runs functions of the QtTest program and records its verdict.
run_qtest() {
    local desc=$1
    shift
    capture "$@"
    if [ "$RC" = 0 ]; then
        _record ok "$desc"
        printf '%s\n' "$OUT" | grep -E '^(PASS|SKIP|Totals)' | sed 's/^/      /'
    else
        _record fail "$desc" "status $RC"
        printf '%s\n%s\n' "$OUT" "$ERR" | sed 's/^/      /'
    fi
}

# No system bus at all: saveConf cannot reach any helper.
mkdir -p "$SANDBOX/no-bus"
if [ ! -d /run/dbus ]; then
    sandbox_add_to_dir /run
    mkdir -p /run/dbus
fi
mount --bind "$SANDBOX/no-bus" /run/dbus
run_qtest "page without a system bus: load, load failures, validation, failed save, reset" \
    "$TEST" load reminderGroupAfterLoad expiryBeforeToday loadFailure loadFailureKeepsShownValues validation failedSave resetButton
umount /run/dbus

# The real privileged save.
kauth_stage "$BUILD"
kauth_start "$KAUTH_STAGE"
run_qtest "page as root: saves through the helper" "$TEST" savedThroughHelper

sandbox_useradd pwexpiry-kcm-user || exit 1
USER_HOME="$SANDBOX/home/pwexpiry-kcm-user"
mkdir -p "$USER_HOME/run" && chmod 700 "$USER_HOME/run" && chown -R pwexpiry-kcm-user: "$USER_HOME"
printf 'PASS_MIN_DAYS\t2\nPASS_MAX_DAYS\t90\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings false true 12
chmod 644 /etc/login.defs /etc/default/useradd /etc/password-expiration-policy/config.ini
run_qtest "page as an unprivileged user: the save is refused" \
    runuser -u pwexpiry-kcm-user -- env HOME="$USER_HOME" XDG_RUNTIME_DIR="$USER_HOME/run" "$TEST" unprivilegedSaveRefused

kauth_expect_clean_exit orvane.kcm.policyexpiration
[ "$SANDBOX_FAILED" -ne 0 ] && kauth_logs
sandbox_finish
