#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The German catalogues, installed with the build: the notifier's --info
# labels and messages, and the reminder a check run sends, with the right
# plural form, as the notification server receives it.
. "$(dirname "$0")/sandbox.sh" || exit 1
. "$(dirname "$0")/notify.sh" || exit 1
. "$(dirname "$0")/kauth.sh" || exit 1
sandbox_enter --net "$@" || exit 1

kauth_stage "$1" || { echo "FAIL: could not stage the build"; exit 1; }
NOTIFIER=$(sandbox_install_bin "$1/bin/pwexpiry-notifier")
# The catalogues are found through the data directories, the stage's first.
export XDG_DATA_DIRS="$KAUTH_STAGE/usr/share:/usr/share"
# A German locale, made for the test in the sandbox. The C.UTF-8 locale of
# the sandbox will not do: from Debian 13 on (glibc 2.41), gettext ignores
# LANGUAGE under C.UTF-8 as it always did under C.
mkdir -p "$SANDBOX/locales" && localedef -i de_DE -f UTF-8 "$SANDBOX/locales/de_DE.UTF-8" 2>/dev/null ||
    { echo "FAIL: could not make the German locale"; exit 1; }
export LOCPATH="$SANDBOX/locales" LANGUAGE=de
# (The shell itself does not see the new locale and would say so.)
{ export LC_ALL=de_DE.UTF-8; } 2>/dev/null

for mo in pwexpiry-notifier kcm_pwexpiry; do
    expect_eq "catalogue $mo installed" yes "$([ -s "$KAUTH_STAGE/usr/share/locale/de/LC_MESSAGES/$mo.mo" ] && echo yes)"
done

printf 'PASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings true false 14

capture "$NOTIFIER" --info
expect_eq "--info in German" "0|- Erinnerung für lokale Benutzer: true
- Erinnerung für Domänenbenutzer: false
- Tage vor Ablauf für die Erinnerung: 14" "$RC|$OUT"
capture runuser -u nobody -- env LANGUAGE=de XDG_DATA_DIRS="$XDG_DATA_DIRS" "$NOTIFIER" --sl enable
expect_eq "root message in German" "1|Fehler: Das Programm muss als root ausgeführt werden." "$RC|$ERR"
capture "$NOTIFIER" --help
expect_contains "option description in German" "--sl, --set-local <enable/disable>   Erinnerungen für lokale Benutzer" "$OUT"
capture "$NOTIFIER" --sd enable --sn soon
expect_match "domain note in German" "^Hinweis: Wenn Erinnerungen für Domänenbenutzer aktiviert werden" "$OUT"
LC_ALL=C.UTF-8 LANGUAGE=en capture "$NOTIFIER" --info
expect_match "English without the German language" "^- Receive notify for local user: true" "$OUT"

sandbox_useradd alice
notify_start_session alice || { echo "FAIL: could not start alice's session"; exit 1; }
for row in "1|Das Passwort läuft in 1 Tag ab!" "2|Das Passwort läuft in 2 Tagen ab!" "5|Das Passwort läuft in 5 Tagen ab!" \
    "0|Das Passwort läuft heute ab!"; do
    left=${row%%|*}
    chage -d "$(date -d "-$((90 - left)) days" +%F)" -M 90 alice
    notify_clear alice
    capture "$NOTIFIER"
    expect_eq "reminder for $left days in German" "0|Passwortablauf|${row#*|}|dialog-warning|1337|2" "$RC|$(notify_received alice)"
done

sandbox_finish
