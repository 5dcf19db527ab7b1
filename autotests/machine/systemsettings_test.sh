#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Plasma's System Settings in a booted Debian machine with our packages: it
# lists the settings page and opens it on a user's display. A screenshot of
# the open page is kept.
#
#   systemsettings_test.sh DEBDIR SUITE SCREENSHOTDIR
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2 SHOTS=$3

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
    '^kcm_pwexpiry_systemsettings +- Password aging limits and password expiry reminders for all users$' "$listed"
expect_eq "systemsettings --list shows the page once" 1 \
    "$(grep -c -- ' - Password aging limits and password expiry reminders for all users$' <<<"$listed")"

machine_as_user admin systemd-run --user --quiet --unit=pwexpiry-systemsettings -E DISPLAY=:1 \
    /usr/bin/systemsettings kcm_pwexpiry_systemsettings
machine_wait 30 "the System Settings window" runuser -u admin -- env DISPLAY=:1 \
    xdotool search --onlyvisible --name '^Password Expiration Policy' ||
    machine_fail "System Settings did not open the page"
window=$(on_display xdotool search --onlyvisible --name '^Password Expiration Policy' | head -n 1)
expect_eq "the window shows the page" "Password Expiration Policy  — System Settings" "$(on_display xdotool getwindowname "$window")"

# The page is drawn once the screen is no longer one colour and two captures
# a moment apart are the same.
capture_screen() {
    on_display xwd -root -silent >"$1"
}
colours() {
    identify -format %k "xwd:$1"
}
capture_screen "$MACHINE_DIR/a.xwd"
for _ in $(seq 50); do
    sleep 0.2
    capture_screen "$MACHINE_DIR/b.xwd"
    [ "$(colours "$MACHINE_DIR/b.xwd")" -gt 1 ] && cmp -s "$MACHINE_DIR/a.xwd" "$MACHINE_DIR/b.xwd" && break
    mv "$MACHINE_DIR/b.xwd" "$MACHINE_DIR/a.xwd"
done
mkdir -p "$SHOTS"
shot=$SHOTS/machine-$SUITE-systemsettings.png
convert "xwd:$MACHINE_DIR/a.xwd" "$shot"
echo "screenshot: $shot"
expect_match "the screenshot shows a drawn window, not an empty screen" '^[0-9]{3,}$' "$(identify -format %k "$shot")"

expect_eq "System Settings still runs with the page open" active \
    "$(machine_as_user admin systemctl --user is-active pwexpiry-systemsettings)"
log=$(machine_run journalctl _UID="$(machine_run id -u admin)" -o cat --no-pager)
expect_no_match "no plug-in load errors" 'Could not load plugin|Error loading|Could not find|kcm_pwexpiry.*(error|fail)' "$log"

machine_finish
