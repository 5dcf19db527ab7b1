#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# pwexpiry-notifier --check and --check-file against real policy files in a
# private /etc, as root and as an ordinary user: the exact finding lines, the
# exit status, and that checking changes nothing.
#
#   policy_check_test.sh NOTIFIER
. "$(dirname "$0")/sandbox.sh"
sandbox_enter "$@"

NOTIFIER=$(sandbox_install_bin "$1")
SHIPPED_SETTINGS="$(dirname "$0")/../../data/config.ini"
LOGIN=/etc/login.defs
USERADD=/etc/default/useradd
POLICY=/etc/password-expiration-policy/config.ini
HINT='Error: cannot read the policy; run "pwexpiry-notifier --check" for details.'

as_nobody() {
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "$@"
}

snapshot() {
    cat $LOGIN $USERADD $POLICY 2>/dev/null | md5sum
}

# The machine's own login.defs and useradd, and the shipped settings file.
mkdir -p /etc/password-expiration-policy
cp "$SHIPPED_SETTINGS" $POLICY
chmod 644 $POLICY
stock() {
    cp -a "$SANDBOX/stock/login.defs" $LOGIN
    cp -a "$SANDBOX/stock/useradd" $USERADD
    cp -a "$SANDBOX/stock/config.ini" $POLICY
}
mkdir -p "$SANDBOX/stock"
cp -a $LOGIN "$SANDBOX/stock/login.defs"
cp -a $USERADD "$SANDBOX/stock/useradd"
cp -a $POLICY "$SANDBOX/stock/config.ini"

# --- the stock files: nothing to say
for who in root nobody; do
    if [ $who = root ]; then capture "$NOTIFIER" --check; else capture as_nobody "$NOTIFIER" --check; fi
    expect_eq "--check as $who, stock files: status 0, no output" "0||" "$RC|$OUT|$ERR"
done
capture "$NOTIFIER" --info
expect_eq "--info reads the stock files" 0 "$RC"

# --- broken files: the exact lines, exit 1 as long as there is an error,
# and --info then says where to look
printf '# local policy\nPASS_MAX_DAYS\t5\nPASS_MIN_DAYS\t7\nPASS_WARN_AGE\t7\nPASS_WARN_AGE\t7\nPASS_MAX_DAYS=30\n' >$LOGIN
printf 'SHELL=/bin/sh\nINACTIVE = 30\nEXPIRE=2026-02-30\n' >$USERADD
printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=no\nNOTIFY_DAYS=0\n' >$POLICY
before=$(snapshot)
expected="$LOGIN:2: warning: PASS_MAX_DAYS 5 is below PASS_MIN_DAYS 7 (line 3): a password would expire before it may be changed
$LOGIN:4: warning: PASS_WARN_AGE 7 is longer than PASS_MAX_DAYS 5 (line 2): users would be warned from the day they change their password
$LOGIN:5: error: PASS_WARN_AGE is defined again (first on line 4); a key may be defined only once
$LOGIN:6: warning: \"PASS_MAX_DAYS=30\" is not read as PASS_MAX_DAYS: a blank or tab must separate the key from its value
$USERADD:2: warning: \"INACTIVE = 30\" is not read as INACTIVE: no blank may stand before \"=\"
$USERADD:3: error: EXPIRE is \"2026-02-30\", which is not a date in the form YYYY-MM-DD (or empty)
$POLICY:3: warning: RECEIVE_NOTIFY_FOR_DOMAIN=no reads as true: only false, 0 or an empty value switch reminders off; write true or false
$POLICY:4: warning: NOTIFY_DAYS is 0: users are reminded only once their password has expired"
for who in root nobody; do
    if [ $who = root ]; then capture "$NOTIFIER" --check; else capture as_nobody "$NOTIFIER" --check; fi
    expect_eq "--check as $who, broken files: status 1 and the lines" "1|$expected|" "$RC|$OUT|$ERR"
done
capture as_nobody "$NOTIFIER" --info
expect_eq "--info on the broken files points to --check" "1||$HINT" "$RC|$OUT|$ERR"
expect_eq "--check changed nothing" "$before" "$(snapshot)"

# Warnings alone: the programs can use the files, exit 0.
stock
printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=off\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n' >$POLICY
capture as_nobody "$NOTIFIER" --check
expect_eq "--check, warnings only: status 0 and the line" \
    "0|$POLICY:2: warning: RECEIVE_NOTIFY_FOR_LOCAL=off reads as true: only false, 0 or an empty value switch reminders off; write true or false|" \
    "$RC|$OUT|$ERR"
capture as_nobody "$NOTIFIER" --info
expect_eq "--info agrees: off reads as true" "0|- Receive notify for local user: true" "$RC|$(echo "$OUT" | head -n 1)"

# Files that cannot be read at all.
stock
rm -f $USERADD
capture "$NOTIFIER" --check
expect_eq "--check, useradd absent" "1|$USERADD: error: cannot be read: No such file or directory|" "$RC|$OUT|$ERR"
stock
chmod 600 $LOGIN
capture as_nobody "$NOTIFIER" --check
expect_eq "--check as nobody, login.defs mode 600" "1|$LOGIN: error: cannot be read: Permission denied|" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check
expect_eq "--check as root, login.defs mode 600" "0||" "$RC|$OUT|$ERR"
stock
rm -f $POLICY
capture as_nobody "$NOTIFIER" --check
expect_eq "--check, settings file absent: a warning" \
    "0|$POLICY: warning: absent: no reminders are shown (read as RECEIVE_NOTIFY_FOR_LOCAL=false, RECEIVE_NOTIFY_FOR_DOMAIN=false)|" "$RC|$OUT|$ERR"
stock
printf '[General\nNOTIFY_DAYS=3\n' >$POLICY
capture as_nobody "$NOTIFIER" --check
expect_eq "--check, settings header without ]" "1|$POLICY:1: error: a section header without \"]\"|" "$RC|$OUT|$ERR"

# --- --check-file on candidates, as Ansible's validate runs it; the
# findings name the candidate, the installed files play no part
stock
printf 'PASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t7\n' >"$SANDBOX/good.defs"
printf 'PASS_MAX_DAYS\t60 # two months\n' >"$SANDBOX/bad.defs"
printf 'INACTIVE=30\nEXPIRE=\n' >"$SANDBOX/good.useradd"
printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=soon\n' >"$SANDBOX/bad.ini"
chmod 644 "$SANDBOX"/*.defs "$SANDBOX"/*.useradd "$SANDBOX"/*.ini
capture as_nobody "$NOTIFIER" --check-file login.defs "$SANDBOX/good.defs"
expect_eq "--check-file login.defs, a good candidate" "0||" "$RC|$OUT|$ERR"
capture as_nobody "$NOTIFIER" --check-file login.defs "$SANDBOX/bad.defs"
expect_eq "--check-file login.defs, a comment after the value" \
    "1|$SANDBOX/bad.defs:1: error: PASS_MAX_DAYS has the value \"60 # two months\": a comment must stand on a line of its own|" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file useradd "$SANDBOX/good.useradd"
expect_eq "--check-file useradd, a good candidate" "0||" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file settings "$SANDBOX/bad.ini"
expect_eq "--check-file settings, days not a number" "1|$SANDBOX/bad.ini:3: error: NOTIFY_DAYS has the value \"soon\", which is not a whole number|" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file settings "$SANDBOX/absent.ini"
expect_eq "--check-file settings, no such candidate" "1|$SANDBOX/absent.ini: error: cannot be read: No such file or directory|" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file login.defs "$SANDBOX/good.useradd"
expect_eq "--check-file login.defs on a useradd file: nothing to read, no error" "0||" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file shadow "$SANDBOX/good.defs"
expect_eq "--check-file with an unknown kind" "1||Error: unknown kind of policy file \"shadow\": give login.defs, useradd or settings." "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check-file login.defs
expect_eq "--check-file without a path" \
    "1||Error: --check-file takes a kind and one path, as in: pwexpiry-notifier --check-file login.defs /tmp/login.defs" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check /etc/login.defs
expect_eq "--check with a path" "1||Error: unexpected argument \"/etc/login.defs\"." "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check --policy
expect_eq "--check with --policy" "1||Error: --check, --check-file, --policy and the set options cannot be combined." "$RC|$OUT|$ERR"

# --- --policy, for any user; "not set" as the files hold it
stock
printf 'PASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t10\n' >$LOGIN
printf 'INACTIVE=30\nEXPIRE=2030-01-31\n' >$USERADD
capture as_nobody "$NOTIFIER" --policy
expect_eq "--policy as nobody" "0|PASS_MIN_DAYS=1
PASS_MAX_DAYS=60
PASS_WARN_AGE=10
INACTIVE=30
EXPIRE=2030-01-31
RECEIVE_NOTIFY_FOR_LOCAL=true
RECEIVE_NOTIFY_FOR_DOMAIN=false
NOTIFY_DAYS=14|" "$RC|$OUT|$ERR"
printf 'MAIL_DIR /var/mail\n' >$LOGIN
printf 'SHELL=/bin/sh\nEXPIRE=\n' >$USERADD
capture as_nobody "$NOTIFIER" --policy
expect_eq "--policy, nothing set" "0|PASS_MIN_DAYS=0
PASS_MAX_DAYS=-1
PASS_WARN_AGE=-1
INACTIVE=-1
EXPIRE=
RECEIVE_NOTIFY_FOR_LOCAL=true
RECEIVE_NOTIFY_FOR_DOMAIN=false
NOTIFY_DAYS=14|" "$RC|$OUT|$ERR"
printf 'PASS_MIN_DAYS -1\n' >$LOGIN
capture as_nobody "$NOTIFIER" --policy
expect_eq "--policy, unreadable policy" "1||$HINT" "$RC|$OUT|$ERR"

# --- the set options stay root's
stock
before=$(snapshot)
for opts in "--set-max-days 60" "--set-expire none" "--set-min-days 1 --sn 7"; do
    capture as_nobody "$NOTIFIER" $opts
    expect_eq "as nobody, $opts: refused" "1||Error: must be run as root." "$RC|$OUT|$ERR"
done
expect_eq "refused runs changed nothing" "$before" "$(snapshot)"

sandbox_finish
