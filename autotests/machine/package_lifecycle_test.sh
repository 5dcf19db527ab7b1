#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian packages' whole life in a booted Debian machine, as an
# administrator lives it: apt installs them, the installed system is checked
# (programs, units, conffile, helper files, the settings shell finding the
# page), then they are removed and purged and nothing may stay behind.
#
#   package_lifecycle_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2

machine_root_for_debs "$SUITE" "$DEBS" || machine_fail "no root for $SUITE"
machine_boot "$MACHINE_ROOT"
packages=(pwexpiry-notifier kcm-pwexpiry pwexpiry-policy-helper)

# --- install
mapfile -t debs < <(machine_debs "$DEBS")
machine_install_debs "${debs[@]}"
expect_eq "apt installs the packages" 0 "$?"
installed_files=$(machine_run dpkg -L "${packages[@]}" | sort -u)
# Files under /etc that the packages ship are conffiles: a removal keeps them.
conffiles=$(machine_sh 'cat "$@" 2>/dev/null' $(printf '/var/lib/dpkg/info/%s.conffiles ' "${packages[@]}") |
    sed 's/^remove-on-upgrade //' | sort -u)
expect_eq "the conffiles: the reminder settings and the autostart entry" \
    "$(printf '%s\n' /etc/password-expiration-policy/config.ini /etc/xdg/autostart/pwexpiry-login-reminder.desktop)" "$conffiles"

expect_eq "--info shows the shipped defaults" \
    "$(printf '%s\n' '- Receive notify for local user: true' '- Receive notify for domain user: false' '- Number of days before notify: 14')" \
    "$(machine_run pwexpiry-notifier --info 2>&1)"
capture machine_run runuser -u nobody -- /usr/sbin/pwexpiry-notifier --info
expect_eq "--info works for an ordinary user" 0 "$RC"
# In a German locale: gettext from Debian 13 on passes LANGUAGE over under C.UTF-8.
machine_run localedef -i de_DE -f UTF-8 /root/de_DE.UTF-8 >/dev/null 2>&1 || machine_fail "cannot make a German locale"
expect_contains "--info speaks German in a German locale" "- Erinnerung für lokale Benutzer: true" \
    "$(machine_run env LOCPATH=/root LC_ALL=de_DE.UTF-8 LANGUAGE=de pwexpiry-notifier --info 2>&1)"
expect_eq "the manual page is installed" yes "$(machine_run test -s /usr/share/man/man8/pwexpiry-notifier.8.gz && echo yes)"

units=(pwexpiry-notifier.service pwexpiry-notifier.timer pwexpiry-notifier-login.socket pwexpiry-notifier-login@.service)
capture machine_sh 'cd /lib/systemd/system && systemd-analyze verify "$@"' "${units[@]}"
expect_eq "the installed units pass systemd-analyze verify" "0||" "$RC|$OUT|$ERR"
expect_eq "enabled on installation: the timer and the login socket; the services only started by them" \
    "pwexpiry-notifier.timer enabled|pwexpiry-notifier-login.socket enabled|pwexpiry-notifier.service static|pwexpiry-notifier-login@.service static" \
    "$(for u in pwexpiry-notifier.timer pwexpiry-notifier-login.socket pwexpiry-notifier.service pwexpiry-notifier-login@.service; do
        printf '%s %s|' "$u" "$(machine_run systemctl is-enabled "$u")"
    done | sed 's/|$//')"
expect_eq "the timer and the socket are running" "active active" \
    "$(machine_run systemctl is-active pwexpiry-notifier.timer pwexpiry-notifier-login.socket | paste -sd ' ')"
expect_eq "the polkit action is installed" yes \
    "$(machine_run grep -q 'id="orvane.kcm.policyexpiration.change"' /usr/share/polkit-1/actions/orvane.kcm.policyexpiration.policy && echo yes)"
helper_exec=$(machine_run sed -n 's/^Exec=//p' /usr/share/dbus-1/system-services/orvane.kcm.policyexpiration.service)
expect_eq "the D-Bus service starts the installed helper ($helper_exec)" yes "$(machine_run test -x "$helper_exec" && echo yes)"
expect_eq "the D-Bus policy lets the helper own its name" yes \
    "$(machine_run grep -q 'orvane.kcm.policyexpiration' /usr/share/dbus-1/system.d/orvane.kcm.policyexpiration.conf && echo yes)"

# The user units that systemd makes of the autostart entries at a login, ours
# among them.
autostart_units() {
    machine_sh 'out=$(mktemp -d) && /lib/systemd/user-generators/systemd-xdg-autostart-generator "$out" "$out" "$out" &&
        find "$out" -name "*pwexpiry*" -printf "%f\n" | sort -u; rm -rf "$out"'
}
expect_eq "a graphical login starts the autostart entry" 'app-pwexpiry\x2dlogin\x2dreminder@autostart.service' "$(autostart_units)"

# The release's settings shell, as the menu entry starts it, finds the
# installed page on an administrator's display.
shell=$(machine_run sed -n 's/^Exec=\([^ ]*\) .*/\1/p' /usr/share/applications/org.pwexpiry.settings.desktop)
machine_useradd admin -G sudo
machine_login admin x11 seat0 || machine_fail "admin could not log in"
machine_display admin 1 || machine_fail "no display for admin"
machine_as_user admin systemd-run --user --quiet --unit=pwexpiry-kcmshell -E DISPLAY=:1 "$shell" kcm_pwexpiry
machine_wait 30 "the $shell window" runuser -u admin -- env DISPLAY=:1 \
    xdotool search --onlyvisible --name 'Password Expiration Policy'
expect_eq "$shell kcm_pwexpiry opens the page" 0 "$?"
expect_no_match "the shell loaded the plug-in without errors" 'Could not load plugin|Error loading|Could not find' \
    "$(machine_run journalctl _UID="$(machine_run id -u admin)" -o cat --no-pager)"
machine_as_user admin systemctl --user stop pwexpiry-kcmshell
machine_logout "$SESSION_UNIT"

# --- remove, then purge
# Files and links the packages installed that are still there (directories
# such as /lib may be shared, and may be links themselves on a merged /usr).
leftovers() {
    machine_sh 'while read -r f; do
        if [ -e "$f" ] || [ -L "$f" ]; then [ -d "$f" ] || echo "$f"; fi
    done' <<<"$installed_files"
}
capture machine_run env DEBIAN_FRONTEND=noninteractive apt-get remove -y "${packages[@]}"
expect_eq "apt removes the packages" 0 "$RC"
expect_eq "after remove only the conffiles are left" "$conffiles" "$(leftovers)"
expect_eq "the autostart entry left behind starts nothing" "" "$(autostart_units)"
capture machine_run dpkg --purge "${packages[@]}"
expect_eq "dpkg purges the packages" 0 "$RC"
expect_eq "after purge nothing is left" "" "$(leftovers)"
expect_eq "the settings directory is gone" no "$(machine_run test -e /etc/password-expiration-policy && echo yes || echo no)"
expect_eq "no unit links are left" "" \
    "$(machine_run find /etc/systemd/system -name 'pwexpiry-notifier*')"
expect_eq "no unit of ours is loaded any more" "" \
    "$(machine_run systemctl list-units --all --no-legend --plain 'pwexpiry-notifier*')"

machine_finish
