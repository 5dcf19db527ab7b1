#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Plasma's System Settings in a booted Debian machine with our packages: it
# lists the settings page and opens it on a user's display; then the
# release's settings shell (kcmshell5 or kcmshell6) opens it as the menu
# entry does. Screenshots of the open page are kept.
#
#   systemsettings_test.sh DEBDIR SUITE SCREENSHOTDIR MODULE
# MODULE is the id under which System Settings lists the page:
# kcm_pwexpiry_systemsettings with KDE Frameworks 5, kcm_pwexpiry with KF6.
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2 SHOTS=$3 MODULE=${4:-kcm_pwexpiry_systemsettings}

machine_start "$DEBS" "$SUITE"
machine_useradd admin -G sudo
machine_login admin x11 seat0 || machine_fail "admin could not log in"
machine_desktop admin 1 || machine_fail "no desktop for admin"

on_display() {
    machine_as_user admin env DISPLAY=:1 "$@"
}

listed=$(machine_as_user admin env QT_QPA_PLATFORM=offscreen systemsettings --list 2>/dev/null)
echo "System Settings lists of ours:"
grep -i 'password' <<<"$listed" | sed 's/^/    /'
expect_match "systemsettings --list shows the page" \
    "^$MODULE +- Password aging limits and password expiry reminders for all users\$" "$listed"
expect_eq "systemsettings --list shows the page once" 1 \
    "$(grep -c -- ' - Password aging limits and password expiry reminders for all users$' <<<"$listed")"

machine_as_user admin systemd-run --user --quiet --unit=pwexpiry-systemsettings -E DISPLAY=:1 \
    /usr/bin/systemsettings "$MODULE"
machine_wait 30 "the System Settings window" runuser -u admin -- env DISPLAY=:1 \
    xdotool search --onlyvisible --name '^Password Expiration Policy' ||
    machine_fail "System Settings did not open the page"
window=$(on_display xdotool search --onlyvisible --name '^Password Expiration Policy' | head -n 1)
expect_match "the window shows the page" '^Password Expiration Policy +— System Settings$' "$(on_display xdotool getwindowname "$window")"

# The page is drawn once the screen is no longer one colour and two captures
# a moment apart are the same.
capture_screen() {
    on_display xwd -root -silent >"$1"
}
colours() {
    identify -format %k "xwd:$1"
}
# screenshot NAME: the settled screen as SHOTS/machine-SUITE-NAME.png
screenshot() {
    local shot=$SHOTS/machine-$SUITE-$1.png
    capture_screen "$MACHINE_DIR/a.xwd"
    for _ in $(seq 50); do
        sleep 0.2
        capture_screen "$MACHINE_DIR/b.xwd"
        [ "$(colours "$MACHINE_DIR/b.xwd")" -gt 1 ] && cmp -s "$MACHINE_DIR/a.xwd" "$MACHINE_DIR/b.xwd" && break
        mv "$MACHINE_DIR/b.xwd" "$MACHINE_DIR/a.xwd"
    done
    mkdir -p "$SHOTS"
    convert "xwd:$MACHINE_DIR/a.xwd" "$shot"
    echo "screenshot: $shot"
    expect_match "$1: the screenshot shows a drawn window, not an empty screen" '^[0-9]{3,}$' "$(identify -format %k "$shot")"
}
screenshot systemsettings

expect_eq "System Settings still runs with the page open" active \
    "$(machine_as_user admin systemctl --user is-active pwexpiry-systemsettings)"
log=$(machine_run journalctl _UID="$(machine_run id -u admin)" -o cat --no-pager)
expect_no_match "no plug-in load errors" 'Could not load plugin|Error loading|Could not find|kcm_pwexpiry.*(error|fail)' "$log"
machine_as_user admin systemctl --user stop pwexpiry-systemsettings

# The menu entry's command: the release's settings shell with the page.
shell_command=$(machine_run sed -n 's/^Exec=//p' /usr/share/applications/org.pwexpiry.settings.desktop)
echo "menu entry: $shell_command"
# shellcheck disable=SC2086
machine_as_user admin systemd-run --user --quiet --unit=pwexpiry-settings-shell -E DISPLAY=:1 /usr/bin/$shell_command
machine_wait 30 "the settings shell's window" runuser -u admin -- env DISPLAY=:1 \
    xdotool search --onlyvisible --name '^Password Expiration Policy' ||
    machine_fail "$shell_command did not open the page"
screenshot settings-shell
expect_eq "$shell_command still runs with the page open" active \
    "$(machine_as_user admin systemctl --user is-active pwexpiry-settings-shell)"

machine_finish
