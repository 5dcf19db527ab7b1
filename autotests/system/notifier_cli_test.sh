#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# pwexpiry-notifier's entry against the real policy files in a private /etc:
# --info as root and as an unprivileged user, the root check, option parsing.
. "$(dirname "$0")/sandbox.sh"
sandbox_enter "$@"

NOTIFIER=$(sandbox_install_bin "$1")
POLICY=/etc/password-expiration-policy/config.ini

write_policy() {
    # Whatever a case left in their place (a directory, a FIFO) goes first.
    rm -rf /etc/login.defs /etc/default/useradd "$POLICY"
    printf 'MAIL_DIR\t/var/mail\n# PASS_MIN_DAYS 3\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
    printf 'GROUP=100\nINACTIVE=-1\nEXPIRE=\nSHELL=/bin/sh\n' >/etc/default/useradd
    sandbox_write_settings true false 14
    chmod 644 /etc/login.defs /etc/default/useradd "$POLICY"
}

snapshot() {
    cat /etc/login.defs /etc/default/useradd "$POLICY" 2>/dev/null | md5sum
}

info_lines() {
    printf -- '- Receive notify for local user: %s\n- Receive notify for domain user: %s\n- Number of days before notify: %s' "$1" "$2" "$3"
}

# setpriv rather than runuser, which reads login.defs itself (and would
# wait for a writer when the cases make it a FIFO).
as_nobody() {
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "$@"
}

# --- --info with the three files present
write_policy
for who in root nobody; do
    if [ $who = root ]; then capture "$NOTIFIER" --info; else capture as_nobody "$NOTIFIER" --info; fi
    expect_eq "info as $who: status" 0 "$RC"
    expect_eq "info as $who: the three lines" "$(info_lines true false 14)" "$OUT"
    expect_eq "info as $who: nothing on stderr" "" "$ERR"
done

capture "$NOTIFIER" -i
expect_eq "-i is --info" "$(info_lines true false 14)" "$OUT"

sandbox_write_settings false true -5
capture as_nobody "$NOTIFIER" --info
expect_eq "info shows changed settings" "$(info_lines false true -5)" "$OUT"

printf 'RECEIVE_NOTIFY_FOR_LOCAL=no\nNOTIFY_DAYS=0\n' >"$POLICY"
capture "$NOTIFIER" --info
expect_eq "info: 'no' is true, absent domain flag is false" "$(info_lines true false 0)" "$OUT"

# --- settings file absent: no failure, absent-key values
rm -f "$POLICY"
capture "$NOTIFIER" --info
expect_eq "info without settings file: status" 0 "$RC"
expect_eq "info without settings file: absent-key values" "$(info_lines false false 14)" "$OUT"
expect_eq "info without settings file: not created" "absent" "$([ -e "$POLICY" ] && echo present || echo absent)"
rm -rf /etc/password-expiration-policy
capture as_nobody "$NOTIFIER" --info
expect_eq "info without settings directory as nobody" "0|$(info_lines false false 14)" "$RC|$OUT"

# --- broken or absent files: exit 1, nothing on standard output and one line
# on standard error that points to the check
HINT='Error: cannot read the policy; run "pwexpiry-notifier --check" for details.'
broken_case() {
    local desc=$1
    shift
    write_policy
    "$@"
    capture "$NOTIFIER" --info
    expect_eq "info, $desc: status 1 and the hint" "1||$HINT" "$RC|$OUT|$ERR"
    capture as_nobody "$NOTIFIER" --info
    expect_eq "info as nobody, $desc: status 1 and the hint" "1||$HINT" "$RC|$OUT|$ERR"
}
broken_case "login.defs absent" rm -f /etc/login.defs
broken_case "useradd defaults absent" rm -f /etc/default/useradd
broken_case "duplicate PASS_WARN_AGE" sh -c 'echo "PASS_WARN_AGE 7" >> /etc/login.defs'
broken_case "comment after PASS_MAX_DAYS" sed -i 's/^PASS_MAX_DAYS.*/PASS_MAX_DAYS 99999 # forever/' /etc/login.defs
broken_case "PASS_MIN_DAYS -1" sed -i 's/^PASS_MIN_DAYS.*/PASS_MIN_DAYS -1/' /etc/login.defs
broken_case "EXPIRE not a date" sed -i 's/^EXPIRE=.*/EXPIRE=2026-02-30/' /etc/default/useradd
broken_case "INACTIVE without value" sed -i 's/^INACTIVE=.*/INACTIVE=/' /etc/default/useradd
broken_case "NOTIFY_DAYS not a number" sed -i 's/^NOTIFY_DAYS=.*/NOTIFY_DAYS=soon/' "$POLICY"
broken_case "settings file not well-formed" sh -c "printf '[General\nNOTIFY_DAYS=3\n' > $POLICY"
broken_case "NOTIFY_DAYS beyond 32 bits" sed -i 's/^NOTIFY_DAYS=.*/NOTIFY_DAYS=4294967310/' "$POLICY"
broken_case "login.defs a directory" sh -c 'rm -f /etc/login.defs && mkdir /etc/login.defs'
broken_case "settings file 100 MB" truncate -s 100M "$POLICY"
# Nothing may wait for a writer of a FIFO: each run must end by itself.
for fifo in /etc/login.defs /etc/default/useradd "$POLICY"; do
    broken_case "$fifo a FIFO" sh -c "rm -f $fifo && mkfifo -m 644 $fifo"
done

# A comment header as configuration management writes it, a Latin-1
# comment, a no-break space as separator: all read.
write_policy
printf '# managed by puppet, do not edit\n[General]\n#RECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_LOCAL=true\n; the default\nNOTIFY_DAYS=21\n' >"$POLICY"
printf '# caf\351 au lait\nPASS_MAX_DAYS\302\24060\n' >/etc/login.defs
capture as_nobody "$NOTIFIER" --info
expect_eq "info, comment header, Latin-1 comment, no-break space" "0|$(info_lines true false 21)|" "$RC|$OUT|$ERR"

# login.defs readable by root only: root reads it, nobody cannot.
write_policy
chmod 600 /etc/login.defs
capture "$NOTIFIER" --info
expect_eq "info, login.defs mode 600, as root" "0|$(info_lines true false 14)" "$RC|$OUT"
capture as_nobody "$NOTIFIER" --info
expect_eq "info, login.defs mode 600, as nobody" "1||$HINT" "$RC|$OUT|$ERR"

# A settings file nobody may not read is reported, not read as empty.
write_policy
chmod 600 "$POLICY"
capture as_nobody "$NOTIFIER" --info
expect_eq "info, settings file mode 600, as nobody" "1||$HINT" "$RC|$OUT|$ERR"

# Tolerated forms: blanks around key and value, commented and unknown keys.
write_policy
printf '  PASS_MAX_DAYS   60  \n#PASS_MAX_DAYS 1\nUMASK 022\nUMASK 077\n' >/etc/login.defs
printf 'INACTIVE = 30\nEXPIRE=2030-01-31\n' >/etc/default/useradd
capture "$NOTIFIER" --info
expect_eq "info with unusual but valid files" "0|$(info_lines true false 14)" "$RC|$OUT"

# --- root check
write_policy
before=$(snapshot)
for opts in "--set-local enable" "--sl disable" "--sd enable" "--sn 3" "--set-notify-days 3 --set-local enable"; do
    capture as_nobody "$NOTIFIER" $opts
    expect_eq "as nobody, $opts: refused" "1||Error: must be run as root." "$RC|$OUT|$ERR"
done
capture as_nobody "$NOTIFIER"
expect_eq "as nobody, check run: refused" "1|Error: must be run as root." "$RC|$ERR"
expect_eq "refused runs changed nothing" "$before" "$(snapshot)"

# --- --info wins over set options, which are not even validated
capture "$NOTIFIER" --info --set-local Bogus --sn xyz --sd enable
expect_eq "info with set options: shows settings only" "0|$(info_lines true false 14)|" "$RC|$OUT|$ERR"
capture as_nobody "$NOTIFIER" --sl disable --info
expect_eq "info with set option as nobody" "0|$(info_lines true false 14)" "$RC|$OUT"
expect_eq "info with set options changed nothing" "$before" "$(snapshot)"

# --- the parser's own handling
capture "$NOTIFIER" -sl enable
expect_eq "single-dash -sl: status" 1 "$RC"
expect_match "single-dash -sl: unknown options s and l" "Unknown options: s, l" "$ERR"
capture "$NOTIFIER" --info -sd
expect_eq "single-dash -sd next to --info: parse error" 1 "$RC"
capture "$NOTIFIER" --bogus
expect_eq "unknown option: status" 1 "$RC"
expect_contains "unknown option: parser's text" "Unknown option 'bogus'." "$ERR"
capture "$NOTIFIER" --set-local
expect_eq "missing value: status" 1 "$RC"
expect_contains "missing value: parser's text" "Missing value after '--set-local'." "$ERR"
capture as_nobody "$NOTIFIER" --help
expect_eq "help as nobody: status" 0 "$RC"
for name in "-i, --info" "--sl, --set-local <enable/disable>" "--sd, --set-domain <enable/disable>" "--sn, --set-notify-days <N>"; do
    expect_contains "help lists $name" "$name" "$OUT"
done
expect_match "help shows the executable's name" "^Usage: .*pwexpiry-notifier \[options\]" "$OUT"

# --- set options refused before anything is loaded or saved
capture "$NOTIFIER" --set-local Enable
expect_eq "--set-local Enable: silent failure" "1||" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --set-domain 1
expect_eq "--set-domain 1: silent failure" "1||" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --set-domain enable --set-notify-days soon
expect_eq "--sd enable with bad days: note, then failure" 1 "$RC"
expect_match "--sd enable prints the domain note" "^Information: When enabling reminders for domain users, it is recommended to make sure that correct entry for domain controller \(IP address and full domain name\) is present in /etc/hosts. Otherwise, there may be errors when accessing LDAP.$" "$OUT"
capture "$NOTIFIER" --set-domain disable --set-notify-days 4294967297
expect_eq "--sn beyond 32 bits: refused, no note" "1||" "$RC|$OUT|$ERR"
rm -f /etc/login.defs
capture "$NOTIFIER" --set-local enable
expect_eq "--set-local with unreadable policy: silent failure" "1||" "$RC|$OUT|$ERR"
write_policy
expect_eq "refused set options changed nothing" "$before" "$(snapshot)"

sandbox_finish
