#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages, checks them with lintian, installs them on this
# machine, checks the installed system, then removes and purges them and
# checks that nothing stays behind. Run as root on a machine where the
# packages may be installed (CI).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d /tmp/pwexpiry-debs.XXXXXX)
chmod 755 "$out"
passed=0
failed=0

check() {
    local desc=$1
    shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1))
        echo "PASS: $desc"
    else
        failed=$((failed + 1))
        echo "FAIL: $desc"
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    rm -rf "$out"
    [ "$failed" -eq 0 ]
    exit $?
}

if [ "$(id -u)" != 0 ]; then
    echo "scripts/package-test.sh: run as root (it installs the packages)" >&2
    exit 1
fi

bash "$top/scripts/package.sh" "$out" || { echo "FAIL: the packages did not build"; exit 1; }
debs=("$out"/pwexpiry-notifier_*.deb "$out"/kcm-pwexpiry_*.deb "$out"/pwexpiry-policy-helper_*.deb)

echo "== lintian"
lintian --fail-on error --display-info "$out"/*.changes
check "lintian reports no errors" test "${PIPESTATUS[0]}" -eq 0

echo "== install"
export DEBIAN_FRONTEND=noninteractive
check "the packages install" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${debs[@]}"
installed_files=$(dpkg -L pwexpiry-notifier kcm-pwexpiry pwexpiry-policy-helper | sort -u)
# Files under /etc that the packages ship are conffiles: removing keeps them.
conffiles=$(cat /var/lib/dpkg/info/pwexpiry-notifier.conffiles /var/lib/dpkg/info/kcm-pwexpiry.conffiles \
    /var/lib/dpkg/info/pwexpiry-policy-helper.conffiles 2>/dev/null | sed 's/^remove-on-upgrade //' | sort -u)

unit_dir=$(dirname "$(dpkg -L pwexpiry-notifier | grep '/pwexpiry-notifier\.service$')")
# The settings shell of the release, as the menu entry names it.
settings_shell=$(sed -n 's/^Exec=\([^ ]*\) .*/\1/p' /usr/share/applications/org.pwexpiry.settings.desktop)
info=$(pwexpiry-notifier --info 2>&1)
check "pwexpiry-notifier --info shows the shipped defaults" test "$info" = "- Receive notify for local user: true
- Receive notify for domain user: false
- Number of days before notify: 14"
check "--info works for an ordinary user" runuser -u nobody -- /usr/sbin/pwexpiry-notifier --info
# In a German locale: from Debian 13 on, gettext ignores LANGUAGE under C.UTF-8.
locales=$(mktemp -d)
localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" 2>/dev/null
de_info=$(env LOCPATH="$locales" LC_ALL=de_DE.UTF-8 LANGUAGE=de pwexpiry-notifier --info 2>&1)
rm -rf "$locales"
check "--info speaks German in a German locale" grep -qx -- "- Erinnerung für lokale Benutzer: true" <<<"$de_info"
check "the manual page is installed" test -s /usr/share/man/man8/pwexpiry-notifier.8.gz
check "the service and timer pass systemd-analyze verify" \
    systemd-analyze verify "$unit_dir/pwexpiry-notifier.service" "$unit_dir/pwexpiry-notifier.timer"
check "the timer is enabled" test -L /etc/systemd/system/timers.target.wants/pwexpiry-notifier.timer
check "the service is not enabled on its own" test ! -e /etc/systemd/system/multi-user.target.wants/pwexpiry-notifier.service
check "the reminder settings are a conffile" grep -qx /etc/password-expiration-policy/config.ini /var/lib/dpkg/info/pwexpiry-notifier.conffiles
check "the polkit action is installed" grep -q 'id="orvane.kcm.policyexpiration.change"' /usr/share/polkit-1/actions/orvane.kcm.policyexpiration.policy
helper_exec=$(sed -n 's/^Exec=//p' /usr/share/dbus-1/system-services/orvane.kcm.policyexpiration.service)
check "the D-Bus service starts the installed helper ($helper_exec)" test -x "$helper_exec"
check "the D-Bus policy lets the helper own its name" grep -q 'orvane.kcm.policyexpiration' /usr/share/dbus-1/system.d/orvane.kcm.policyexpiration.conf

echo "== the settings shell finds the installed page"
home=$(mktemp -d)
shell_check() {
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$home \
        timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
            "$1" kcm_pwexpiry 2>"$0/shell.err" &
            shell=$!
            for _ in $(seq 1 150); do
                if xdotool search --onlyvisible --name "Password Expiration Policy" >/dev/null 2>&1; then
                    kill $shell; wait $shell 2>/dev/null
                    ! grep -Eq "Could not load plugin|Error loading|Could not find" "$0/shell.err"
                    exit $?
                fi
                kill -0 $shell 2>/dev/null || break
                sleep 0.1
            done
            cat "$0/shell.err" >&2
            kill $shell 2>/dev/null
            exit 1' "$home" "$settings_shell"
}
check "$settings_shell kcm_pwexpiry opens the page under Xvfb" shell_check
rm -rf "$home"

echo "== remove, then purge"
check "the packages remove" apt-get -o DPkg::Lock::Timeout=600 remove -y pwexpiry-notifier kcm-pwexpiry pwexpiry-policy-helper
# Files and links the packages installed that are still there (directories
# such as /lib may be shared, and may be links themselves on a merged /usr).
leftovers() {
    while read -r f; do
        if [ -e "$f" ] || [ -L "$f" ]; then
            [ -d "$f" ] || echo "$f"
        fi
    done <<<"$installed_files"
}
left=$(leftovers)
check "after remove only the conffiles are left (left: $(echo $left); conffiles: $(echo $conffiles))" test "$left" = "$conffiles"
check "the packages purge" dpkg --purge pwexpiry-notifier kcm-pwexpiry pwexpiry-policy-helper
left=$(leftovers)
check "after purge nothing is left (left: $(echo $left))" test -z "$left"
check "the settings directory is gone" test ! -e /etc/password-expiration-policy
check "the timer link is gone" test ! -e /etc/systemd/system/timers.target.wants/pwexpiry-notifier.timer

finish
