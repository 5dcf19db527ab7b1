#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The privileged save end to end: pwexpiry-notifier's --set-* options and a
# small client of saveConf go through the real KAuth framework, a private
# system bus and the real polkitd to the installed helper, which rewrites the
# policy files in the sandbox's private /etc.
#
#   kauth_roundtrip_test.sh BUILD_DIR NOTIFIER SAVECONFCLIENT
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/kauth.sh"
sandbox_enter "$@"

BUILD=$1
NOTIFIER=$(sandbox_install_bin "$2")
CLIENT=$(sandbox_install_bin "$3")
kauth_stage "$BUILD"
kauth_start "$KAUTH_STAGE"

LOGIN=/etc/login.defs
USERADD=/etc/default/useradd
POLICYDIR=/etc/password-expiration-policy
POLICY=$POLICYDIR/config.ini
EXPECT="$SANDBOX/expected"
mkdir -p "$EXPECT"

# Fixture: comments, blank lines, other keys, a commented definition, blanks
# at the ends of some lines, a login.defs that root and group shadow read.
printf '#\n# /etc/login.defs - Configuration control definitions  \t\n#\nMAIL_DIR        /var/mail\n  UMASK\t\t022\n\n#\tPASS_MAX_DAYS\tMaximum number of days a password may be used.\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\nENCRYPT_METHOD SHA512\n' >$LOGIN
printf '# Default values for useradd(8)\nSHELL=/bin/sh\n# INACTIVE=-1\nINACTIVE=-1\nEXPIRE=\n' >$USERADD
chown root:shadow $LOGIN
chmod 640 $LOGIN
chmod 644 $USERADD
rm -rf $POLICYDIR

# What a file looks like on disk: inode, mode, owner and content. A refused
# save must not even replace a file with an equal copy.
file_state() {
    stat -c '%i %a %U:%G' "$1" 2>&1
    cat "$1" 2>/dev/null
}
snapshot() {
    file_state $LOGIN
    file_state $USERADD
    file_state $POLICY
}
content() {
    cat "$1" 2>/dev/null
}
meta() {
    stat -c '%a %U:%G' "$1" 2>&1
}
inode() {
    stat -c '%i' "$1" 2>&1
}
settings_text() {
    printf '[General]\nNOTIFY_DAYS=%s\nRECEIVE_NOTIFY_FOR_DOMAIN=%s\nRECEIVE_NOTIFY_FOR_LOCAL=%s' "$3" "$2" "$1"
}
elapsed_ms() {
    echo $((($(date +%s%N) - $1) / 1000000))
}

# --- First save on a machine without the settings file: the helper creates
# its directory; login.defs loses the blanks at line ends, nothing else.
login_before=$(content $LOGIN)
useradd_before=$(content $USERADD)
login_inode=$(inode $LOGIN)
start=$(date +%s%N)
capture "$NOTIFIER" --set-local enable
echo "INFO: first --set-local round trip (helper started by the bus): $(elapsed_ms "$start") ms"
expect_eq "--set-local enable: status and silence" "0||" "$RC|$OUT|$ERR"
expect_eq "settings file created with the whole record" "$(settings_text true false 14)" "$(content $POLICY)"
expect_eq "settings directory and file readable by all" "755 root:root|644 root:root" "$(meta $POLICYDIR)|$(meta $POLICY)"
expect_eq "login.defs: only line ends trimmed" "$(printf '%s\n' "$login_before" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//')" "$(content $LOGIN)"
expect_eq "login.defs: mode and owner kept" "640 root:shadow" "$(meta $LOGIN)"
expect_eq "login.defs: replaced by a new file" "changed" "$([ "$(inode $LOGIN)" != "$login_inode" ] && echo changed || echo same)"
expect_eq "useradd unchanged" "$useradd_before" "$(content $USERADD)"
capture "$NOTIFIER" --info
expect_eq "--info reads the saved settings" "- Receive notify for local user: true
- Receive notify for domain user: false
- Number of days before notify: 14" "$OUT"

# Each further option changes its own line of the settings file and nothing
# else in any of the three files.
set_case() {
    local desc=$1 expected_settings=$2 expected_out=$3
    shift 3
    local login useradd
    login=$(content $LOGIN)
    useradd=$(content $USERADD)
    local start
    start=$(date +%s%N)
    capture "$NOTIFIER" "$@"
    echo "INFO: $desc round trip: $(elapsed_ms "$start") ms"
    expect_eq "$desc: status and output" "0|$expected_out|" "$RC|$OUT|$ERR"
    expect_eq "$desc: settings file" "$expected_settings" "$(content $POLICY)"
    expect_eq "$desc: login.defs unchanged" "$login" "$(content $LOGIN)"
    expect_eq "$desc: useradd unchanged" "$useradd" "$(content $USERADD)"
    expect_eq "$desc: modes and owners kept" "640 root:shadow|644 root:root|644 root:root" "$(meta $LOGIN)|$(meta $USERADD)|$(meta $POLICY)"
}
NOTE="Information: When enabling reminders for domain users, it is recommended to make sure that correct entry for domain controller (IP address and full domain name) is present in /etc/hosts. Otherwise, there may be errors when accessing LDAP."
set_case "--set-local disable" "$(settings_text false false 14)" "" --set-local disable
set_case "--set-domain enable" "$(settings_text false true 14)" "$NOTE" --set-domain enable
set_case "--set-notify-days 30" "$(settings_text false true 30)" "" --set-notify-days 30
set_case "--sn -5 passes unchanged" "$(settings_text false true -5)" "" --sn -5
set_case "--sn 2147483647" "$(settings_text false true 2147483647)" "" --sn 2147483647
set_case "--sl enable --sd disable --sn 7 at once" "$(settings_text true false 7)" "" --sl enable --sd disable --sn 7
set_case "--sd disable: no note" "$(settings_text true false 7)" "" --sd disable

# --- Refusals: nothing is written, not even an equal copy.
before=$(snapshot)
capture "$NOTIFIER" --set-notify-days 2147483648
expect_eq "--sn beyond 32 bits: refused silently" "1||" "$RC|$OUT|$ERR"
capture "$NOTIFIER" --sl enable --sn -2147483649
expect_eq "--sn below 32 bits: refused silently" "1||" "$RC|$OUT|$ERR"
expect_eq "out-of-range days saved nothing" "$before" "$(snapshot)"

capture "$CLIENT" -- true false 7 -5 99999 7 -1 ""
expect_eq "min days -5: the helper's refusal comes back" "1|error -1: Parameter PASS_MIN_DAYS has an unexpected value|" "$RC|$OUT|$ERR"
capture "$CLIENT" -- true false 7 0 -2 7 -1 ""
expect_eq "max days -2: refused" "1|error -1: Parameter PASS_MAX_DAYS has an unexpected value|" "$RC|$OUT|$ERR"
capture "$CLIENT" -- true false 7 0 99999 7 -3 ""
expect_eq "inactive -3: refused" "1|error -1: Parameter INACTIVE has an unexpected value|" "$RC|$OUT|$ERR"
capture "$CLIENT" --extra-argument path -- true false 7 0 99999 7 -1 ""
expect_eq "a further argument: refused" "1|error -1: Unexpected argument path|" "$RC|$OUT|$ERR"
expect_eq "refused records wrote nothing" "$before" "$(snapshot)"

capture runuser -u nobody -- "$CLIENT" -- false true 3 1 60 7 30 2030-01-31
expect_eq "unprivileged caller: refused" "1" "$RC"
expect_match "unprivileged caller: an error" "^error -1: " "$OUT"
expect_eq "unprivileged caller wrote nothing" "$before" "$(snapshot)"

# --- The whole record through saveConf.
login=$(content $LOGIN)
useradd=$(content $USERADD)
capture "$CLIENT" -- false true 3 1 60 10 30 2030-01-31
expect_eq "whole record: saved" "0|ok|" "$RC|$OUT|$ERR"
expect_eq "whole record: settings" "$(settings_text false true 3)" "$(content $POLICY)"
expect_eq "whole record: login.defs" "$(printf '%s\n' "$login" | sed 's/^PASS_MAX_DAYS\t.*/PASS_MAX_DAYS\t60/; s/^PASS_MIN_DAYS\t.*/PASS_MIN_DAYS\t1/; s/^PASS_WARN_AGE\t.*/PASS_WARN_AGE\t10/')" "$(content $LOGIN)"
expect_eq "whole record: useradd" "$(printf '%s\n' "$useradd" | sed 's/^INACTIVE=.*/INACTIVE=30/; s/^EXPIRE=.*/EXPIRE=2030-01-31/')" "$(content $USERADD)"
capture "$CLIENT" -- false true 3 0 -1 -1 -1 ""
expect_eq "sentinels: saved" "0|ok|" "$RC|$OUT|$ERR"
expect_eq "sentinels: login.defs" "$(printf '%s\n' "$login" | sed 's/^PASS_MAX_DAYS\t.*/PASS_MAX_DAYS\t-1/; s/^PASS_MIN_DAYS\t.*/PASS_MIN_DAYS\t0/; s/^PASS_WARN_AGE\t.*/PASS_WARN_AGE\t-1/')" "$(content $LOGIN)"
expect_eq "sentinels: useradd" "$(printf '%s\n' "$useradd" | sed 's/^INACTIVE=.*/INACTIVE=-1/; s/^EXPIRE=.*/EXPIRE=/')" "$(content $USERADD)"
set_case "--sn 14 after the client" "$(settings_text false true 14)" "" --sn 14

# --- The settings directory cannot be written: the failure is reported and
# the system files stay untouched.
mount --bind $POLICYDIR $POLICYDIR && mount -o remount,bind,ro $POLICYDIR
before=$(snapshot)
capture "$NOTIFIER" --set-local enable
expect_eq "read-only settings directory: --set-local fails silently" "1||" "$RC|$OUT|$ERR"
capture "$CLIENT" -- true false 9 1 60 10 30 2030-01-31
expect_eq "read-only settings directory: the writer's message" "1|error -1: Error writing configuration file: $POLICY|" "$RC|$OUT|$ERR"
expect_eq "read-only settings directory: nothing written" "$before" "$(snapshot)"
umount $POLICYDIR

# What the files hold, with owners and modes but not inodes: a file that is
# put back is a new file with the old content.
contents() {
    local f
    for f in $LOGIN $USERADD $POLICY; do
        stat -c '%a %U:%G' "$f" 2>&1
        od -An -c "$f" 2>&1
    done
}
helper_log() {
    cat "$SANDBOX/kauth/dbus-daemon.log"
}

# --- A save that fails part-way puts back what it had already replaced.
# useradd, the last file, is gone: the settings file and login.defs, written
# before it, are put back as they were.
cp -a $USERADD "$SANDBOX/useradd.saved"
rm -f $USERADD
before=$(contents)
capture "$CLIENT" -- true false 9 1 60 10 30 2030-01-31
expect_eq "useradd removed: the helper's write error" "1|error -1: Could not opening configuration file /etc/default/useradd: No such file or directory|" "$RC|$OUT|$ERR"
expect_eq "useradd removed: not created" "absent" "$([ -e $USERADD ] && echo present || echo absent)"
expect_eq "useradd removed: settings and login.defs put back" "$before" "$(contents)"
expect_contains "useradd removed: the reason in the helper's log" \
    "pwexpiry-policy-helper: policy change refused: Could not opening configuration file /etc/default/useradd: No such file or directory" "$(helper_log)"
capture "$NOTIFIER" --set-local enable
expect_eq "useradd removed: --set-local cannot load and fails" "1||" "$RC|$OUT|$ERR"
cp -a "$SANDBOX/useradd.saved" $USERADD

# --- On a full file system nothing is lost: useradd keeps its content (it
# used to be left empty), and what came before it is put back.
mkdir -p "$SANDBOX/full"
mount -t tmpfs -o size=64k tmpfs "$SANDBOX/full"
cp -a /etc/default/. "$SANDBOX/full/"
mount --bind "$SANDBOX/full" /etc/default
dd if=/dev/zero of=/etc/default/filler bs=4k 2>/dev/null
useradd_bytes=$(od -An -c $USERADD)
before=$(contents)
capture "$NOTIFIER" --set-notify-days 21
expect_eq "full file system: --set-notify-days fails silently" "1||" "$RC|$OUT|$ERR"
expect_eq "full file system: useradd keeps its content" "$useradd_bytes" "$(od -An -c $USERADD)"
expect_eq "full file system: every file as it was" "$before" "$(contents)"
expect_contains "full file system: the reason in the helper's log" \
    "Error writing configuration file /etc/default/useradd: No space left on device" "$(helper_log)"
expect_eq "full file system: no file left beside useradd" "filler useradd" "$(ls /etc/default | grep -v '^$' | grep -E 'useradd|filler|pwexpiry' | tr '\n' ' ' | sed 's/ $//')"
umount /etc/default
umount "$SANDBOX/full"

# --- A read-only /etc: refused, nothing changed.
before=$(contents)
mount -o remount,bind,ro /etc
capture "$NOTIFIER" --set-local disable
expect_eq "read-only /etc: --set-local fails silently" "1||" "$RC|$OUT|$ERR"
capture "$CLIENT" -- true false 9 1 60 10 30 2030-01-31
expect_eq "read-only /etc: the settings message" "1|error -1: Error writing configuration file: $POLICY|" "$RC|$OUT|$ERR"
mount -o remount,bind,rw /etc
expect_eq "read-only /etc: nothing changed" "$before" "$(contents)"

# --- Links planted at the settings file and in place of its directory do
# not lead the root helper to write anywhere else.
printf 'root:*:20000:0:99999:7:::\n' >"$SANDBOX/victim"
victim=$(od -An -c "$SANDBOX/victim")
cp -a $POLICY "$SANDBOX/config.saved"
rm -f $POLICY
ln -s "$SANDBOX/victim" $POLICY
before=$(contents)
capture "$NOTIFIER" --set-notify-days 5
expect_eq "link at the settings file: --set-notify-days fails silently" "1||" "$RC|$OUT|$ERR"
capture "$CLIENT" -- true false 5 1 60 10 30 ""
expect_eq "link at the settings file: refused with the reason" "1|error -1: Could not opening configuration file $POLICY: Is a symbolic link|" "$RC|$OUT|$ERR"
expect_eq "link at the settings file: its target untouched" "$victim" "$(od -An -c "$SANDBOX/victim")"
expect_eq "link at the settings file: still a link, other files unchanged" "link|$before" "$([ -L $POLICY ] && echo link)|$(contents)"
rm -f $POLICY
mv $POLICYDIR "$SANDBOX/policy.moved"
mkdir "$SANDBOX/elsewhere"
ln -s "$SANDBOX/elsewhere" $POLICYDIR
capture "$CLIENT" -- true false 5 1 60 10 30 ""
expect_eq "link in place of the settings directory: refused" \
    "1|error -1: Could not opening configuration file $POLICY: Its directory $POLICYDIR is not a directory but a symbolic link or other file|" "$RC|$OUT|$ERR"
expect_eq "link in place of the settings directory: nothing written there" "" "$(ls -A "$SANDBOX/elsewhere")"
rm -f $POLICYDIR
mv "$SANDBOX/policy.moved" $POLICYDIR
cp -a "$SANDBOX/config.saved" $POLICY

# --- Bytes the writer does not own stay as they were, whatever the locale of
# the helper that the bus starts: a Latin-1 comment, bytes that are not UTF-8
# in another key's value, a no-break space as a separator.
printf '# caf\351 au lait\nENV_PATH\tPATH=/opt/\377\376\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t10\n' >"$EXPECT/login.defs"
printf '# Vorgaben f\374r useradd\nSHELL=/bin/sh\nINACTIVE=30\nEXPIRE=\n' >"$EXPECT/useradd"
printf '; r\351glages\n[General]\nRECEIVE_NOTIFY_FOR_LOCAL=false\nNOTIFY_DAYS=9\nRECEIVE_NOTIFY_FOR_DOMAIN=true\n' >"$EXPECT/config.ini"
mkdir -p "$SANDBOX/locales"
# Without the locale the helper would quietly run in C and the de_DE case
# would repeat the C one.
localedef -i de_DE -f UTF-8 "$SANDBOX/locales/de_DE.UTF-8" >"$SANDBOX/localedef.out" 2>&1
localedef_rc=$?
expect_eq "the de_DE.UTF-8 locale is made (localedef: $(head -c 200 "$SANDBOX/localedef.out" | tr '\n' ' '))" 0 "$localedef_rc"
saved_lc_all=$LC_ALL
for locale in C C.UTF-8 de_DE.UTF-8; do
    # A new bus in that locale, which starts the helper in it.
    unset LC_ALL
    export LANG=$locale
    [ "$locale" = de_DE.UTF-8 ] && export LOCPATH="$SANDBOX/locales"
    kauth_restart
    unset LANG LOCPATH
    export LC_ALL=$saved_lc_all
    printf '# caf\351 au lait\nENV_PATH\tPATH=/opt/\377\376\nPASS_MAX_DAYS\302\24099999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >$LOGIN
    printf '# Vorgaben f\374r useradd\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n' >$USERADD
    printf '; r\351glages\n[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\n' >$POLICY
    capture "$CLIENT" -- false true 9 1 60 10 30 ""
    expect_eq "helper in $locale: saved" "0|ok|" "$RC|$OUT|$ERR"
    helper_pid=$(pgrep -f -n pwexpiry-policy-helper)
    expect_eq "helper in $locale: started by the bus in that locale" "LANG=$locale" \
        "$(tr '\0' '\n' <"/proc/$helper_pid/environ" 2>/dev/null | grep -E '^(LANG|LC_ALL)=' | tr '\n' ' ' | sed 's/ $//')"
    expect_eq "helper in $locale: login.defs byte for byte" "same" "$(cmp -s $LOGIN "$EXPECT/login.defs" && echo same || od -c $LOGIN)"
    expect_eq "helper in $locale: useradd byte for byte" "same" "$(cmp -s $USERADD "$EXPECT/useradd" && echo same || od -c $USERADD)"
    expect_eq "helper in $locale: settings byte for byte" "same" "$(cmp -s $POLICY "$EXPECT/config.ini" && echo same || od -c $POLICY)"
done

kauth_expect_clean_exit orvane.kcm.policyexpiration

if [ "$SANDBOX_FAILED" -ne 0 ]; then
    kauth_logs
fi
sandbox_finish
