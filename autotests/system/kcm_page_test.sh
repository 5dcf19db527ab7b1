#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The settings page against the real policy files in a private /etc: the
# QtTest program kcmpolicytest loads the built plug-in, creates the page
# through its factory and drives the shell's load() and save().
#   kcm_page_test.sh KCMPOLICYTEST PLUGIN
. "$(dirname "$0")/sandbox.sh"
sandbox_enter "$@"

TEST=$(sandbox_install_bin "$1")
PLUGIN=$(sandbox_install_bin "$2")
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

sandbox_finish
