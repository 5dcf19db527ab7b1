#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# pwexpiry-notifier's options for the whole policy as root, through the real
# KAuth framework, a private system bus and polkitd to the installed helper:
# the bytes of the three files afterwards, --policy reading them back, and
# refused values and combinations leaving every file as it was.
#
#   policy_set_test.sh BUILD_DIR NOTIFIER
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/kauth.sh"
sandbox_enter "$@"

BUILD=$1
NOTIFIER=$(sandbox_install_bin "$2")
kauth_stage "$BUILD"
kauth_start "$KAUTH_STAGE"

LOGIN=/etc/login.defs
USERADD=/etc/default/useradd
POLICY=/etc/password-expiration-policy/config.ini
EXPECT="$SANDBOX/expected"
mkdir -p "$EXPECT"
HINT='Error: cannot read the policy; run "pwexpiry-notifier --check" for details.'

printf '# login.defs\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >$LOGIN
printf '# defaults\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n' >$USERADD
sandbox_write_settings true false 14
chmod 644 $LOGIN $USERADD $POLICY

# Inode, mode, owner and bytes: a refused save must not even replace a file
# with an equal copy.
snapshot() {
    local f
    for f in $LOGIN $USERADD $POLICY; do
        stat -c '%i %a %U:%G' "$f" 2>&1
        od -An -c "$f" 2>&1
    done
}
same_bytes() {
    cmp -s "$1" "$2" && echo same || od -c "$1"
}

# --- the whole policy in one save
capture "$NOTIFIER" --set-min-days 1 --set-max-days 60 --set-warn-age 10 --set-inactive 30 --set-expire 2030-01-31 --sn 21
expect_eq "all five and --sn at once: status and silence" "0||" "$RC|$OUT|$ERR"
printf '# login.defs\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t10\n' >"$EXPECT/login.defs"
printf '# defaults\nSHELL=/bin/sh\nINACTIVE=30\nEXPIRE=2030-01-31\n' >"$EXPECT/useradd"
printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=21\n' >"$EXPECT/config.ini"
expect_eq "all five: login.defs byte for byte" same "$(same_bytes $LOGIN "$EXPECT/login.defs")"
expect_eq "all five: useradd byte for byte" same "$(same_bytes $USERADD "$EXPECT/useradd")"
expect_eq "all five: settings byte for byte" same "$(same_bytes $POLICY "$EXPECT/config.ini")"
capture "$NOTIFIER" --policy
expect_eq "--policy reads the saved policy" "0|PASS_MIN_DAYS=1
PASS_MAX_DAYS=60
PASS_WARN_AGE=10
INACTIVE=30
EXPIRE=2030-01-31
RECEIVE_NOTIFY_FOR_LOCAL=true
RECEIVE_NOTIFY_FOR_DOMAIN=false
NOTIFY_DAYS=21|" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --check
expect_eq "--check on what the helper wrote" "0||" "$RC|$OUT|$ERR"

# One option alone changes its own line only.
capture "$NOTIFIER" --set-warn-age 14
expect_eq "--set-warn-age alone: status" "0||" "$RC|$OUT|$ERR"
sed -i 's/^PASS_WARN_AGE\t10$/PASS_WARN_AGE\t14/' "$EXPECT/login.defs"
expect_eq "--set-warn-age alone: login.defs" same "$(same_bytes $LOGIN "$EXPECT/login.defs")"
expect_eq "--set-warn-age alone: useradd untouched" same "$(same_bytes $USERADD "$EXPECT/useradd")"
expect_eq "--set-warn-age alone: settings untouched" same "$(same_bytes $POLICY "$EXPECT/config.ini")"

# --- refusals: a message, status 1, every file as it was
before=$(snapshot)
refused() {
    local desc=$1 message=$2
    shift 2
    capture "$NOTIFIER" "$@"
    expect_eq "$desc: refused with its message" "1||$message" "$RC|$OUT|$ERR"
    expect_eq "$desc: every file as it was" "$before" "$(snapshot)"
}
refused "maximum below the stored minimum" \
    "Error: the maximum password validity period (0 days) is less than the minimum validity period (1 days); nothing was saved." --set-max-days 0
refused "minimum above the maximum given with it" \
    "Error: the maximum password validity period (10 days) is less than the minimum validity period (30 days); nothing was saved." \
    --set-min-days 30 --set-max-days 10 --sl disable
refused "a bad value next to good ones" \
    "Error: invalid value \"forever\" for --set-max-days: give a whole number of days from -1 (not set) to 99999." \
    --set-min-days 2 --set-max-days forever --sn 3
refused "minimum -1" \
    "Error: invalid value \"-1\" for --set-min-days: give a whole number of days from 0 (not set) to 99999." --set-min-days -1
refused "inactive beyond the page's largest" \
    "Error: invalid value \"100000\" for --set-inactive: give a whole number of days from -1 (not set) to 99999." --set-inactive 100000
refused "no such day" "Error: invalid value \"2030-02-30\" for --set-expire: give a date as YYYY-MM-DD, or none." --set-expire 2030-02-30
refused "an expiry date that has passed" \
    "Error: the account expiry date 2020-01-31 has passed: give today or a later date, or none; nothing was saved." --set-expire 2020-01-31
capture "$NOTIFIER" --sd enable --set-warn-age x
expect_eq "--sd enable with a bad age: the note, then the refusal" \
    "1|Information: When enabling reminders for domain users, it is recommended to make sure that correct entry for domain controller (IP address and full domain name) is present in /etc/hosts. Otherwise, there may be errors when accessing LDAP.|Error: invalid value \"x\" for --set-warn-age: give a whole number of days from -1 (not set) to 99999." \
    "$RC|$OUT|$ERR"
expect_eq "--sd enable with a bad age: every file as it was" "$before" "$(snapshot)"
capture "$NOTIFIER" --set-max-days 30 --check
expect_eq "a set option with --check" "1||Error: --check, --check-file, --policy and the set options cannot be combined." "$RC|$OUT|$ERR"
expect_eq "a set option with --check: every file as it was" "$before" "$(snapshot)"

# A policy that cannot be read: the set options say where to look.
cp -a $USERADD "$SANDBOX/useradd.saved"
printf 'INACTIVE=-1\nINACTIVE=-1\n' >$USERADD
before=$(snapshot)
refused "unreadable policy" "$HINT" --set-max-days 30
cp -a "$SANDBOX/useradd.saved" $USERADD

# --- everything back to "not set"
capture "$NOTIFIER" --set-min-days 0 --set-max-days -1 --set-warn-age -1 --set-inactive -1 --set-expire none
expect_eq "all not set: status" "0||" "$RC|$OUT|$ERR"
printf '# login.defs\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t-1\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t-1\n' >"$EXPECT/login.defs"
printf '# defaults\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n' >"$EXPECT/useradd"
expect_eq "all not set: login.defs" same "$(same_bytes $LOGIN "$EXPECT/login.defs")"
expect_eq "all not set: useradd" same "$(same_bytes $USERADD "$EXPECT/useradd")"
expect_eq "all not set: settings untouched" same "$(same_bytes $POLICY "$EXPECT/config.ini")"
capture "$NOTIFIER" --policy
expect_eq "--policy: not set as the files hold it" "PASS_MIN_DAYS=0|PASS_MAX_DAYS=-1|PASS_WARN_AGE=-1|INACTIVE=-1|EXPIRE=" "$(echo "$OUT" | head -n 5 | tr '\n' '|' | sed 's/|$//')"
# Any minimum goes with a maximum that is not set.
capture "$NOTIFIER" --set-min-days 400
expect_eq "a minimum with the maximum not set: saved" "0||" "$RC|$OUT|$ERR"

kauth_expect_clean_exit orvane.kcm.policyexpiration
if [ "$SANDBOX_FAILED" -ne 0 ]; then
    kauth_logs
fi
sandbox_finish
