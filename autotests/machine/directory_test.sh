#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Domain accounts from a real directory in a booted Debian machine: slapd with
# a small directory (directory.ldif), SSSD as its client with the LDAP
# provider, the name service and PAM through SSSD. Directory and local users
# log in through PAM with x11 sessions; check runs classify them through the
# real sssctl and id and hand the directory users to the domain reminder
# script, here a small script at its path that records its arguments. What
# the tools print is compared with the fixtures the unit tests read
# (autotests/data/directory), dates and times aside.
#
#   directory_test.sh DEBDIR SUITE
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=$2
FIXTURES=$(cd "$(dirname "$0")/../data/directory" && pwd) || exit 1

machine_start "$DEBS" "$SUITE" directory

# Writes SSSD's configuration: the directory as the domain example.test, with
# the [sssd] lines SSSD_LINES and the domain lines DOMAIN_LINES:
#   sssd_configure [SSSD_LINES [DOMAIN_LINES]]
sssd_configure() {
    machine_sh 'install -m 600 /dev/stdin /etc/sssd/sssd.conf' <<CONF
[sssd]
services = nss, pam
domains = example.test
${1:-}

[domain/example.test]
id_provider = ldap
auth_provider = ldap
ldap_uri = ldap://127.0.0.1
ldap_search_base = dc=example,dc=test
ldap_schema = rfc2307
${2:-}
CONF
}

# SSSD prints dates and times in its cache lines; they differ from run to run.
mask_dates() {
    sed -E 's#[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}#<date>#g'
}

# expect_tool DESC FIXTURE CMD...: CMD in the machine ends with status 0 and
# prints what autotests/data/directory/FIXTURE holds, dates aside.
expect_tool() {
    local desc=$1 fixture=$FIXTURES/$2 out rc
    shift 2
    out=$(machine_run "$@" 2>&1)
    rc=$?
    expect_eq "$desc" "$(printf 'status 0\n%s' "$(mask_dates <"$fixture")")" \
        "$(printf 'status %s\n%s' "$rc" "$(mask_dates <<<"$out")")"
}

picked() {
    echo "[probe] picked user: \"$1\" uid: $2 addr: \"unix:path=/run/user/$2/bus\" account: $3"
}

# The calls of the domain reminder script since the last look, one a line.
domain_calls() {
    machine_sh 'cat /var/log/domain-script.calls 2>/dev/null; rm -f /var/log/domain-script.calls'
}

# expect_domain_run DESC USER UID: the last check run took USER for a domain
# account and ran the domain script once, with the days (21) as its argument.
expect_domain_run() {
    expect_run_ok "$1"
    expect_log_line "$1: a domain account" "$(picked "$2" "$3" domain)"
    expect_eq "$1: the domain script ran once, with the days" 21 "$(domain_calls)"
    expect_no_match "$1: no local branch, no failure" 'PasswordChecker|shadow' "$CHECK_LOG"
}

# expect_local_run DESC: the last check run took alice for a local account and
# counted her days from the shadow entry; the domain script did not run.
expect_local_run() {
    expect_run_ok "$1"
    expect_log_line "$1: a local account" "$(picked alice "$UID_ALICE" local)"
    expect_log_line "$1: the days left from the shadow entry" '"The password expires in 30 days"'
    expect_eq "$1: the domain script did not run" "" "$(domain_calls)"
}

# --- the directory, SSSD, the users and the domain script
machine_copy_in "$(dirname "$0")/directory.ldif" /root/directory.ldif
expect_eq "slapd takes the directory" 0 \
    "$(machine_run ldapadd -x -H ldap://127.0.0.1 -D cn=admin,dc=example,dc=test -w secret -f /root/directory.ldif >/dev/null; echo $?)"
sssd_configure
machine_run systemctl restart sssd || machine_fail "SSSD did not start"
machine_useradd alice
UID_ALICE=$(machine_run id -u alice)
machine_age_password alice 30
for user in carol dave; do
    machine_sh 'mkdir -m 700 "/home/$1" && chown "$1:" "/home/$1"' "$user"
done
machine_sh 'cat >/usr/sbin/ad-password-expiry-notify.sh' <<'SCRIPT'
#!/bin/bash
# Stands in for the domain reminder script: one line of arguments a call,
# logged below /var as a site's script would (the service gives it a /tmp of
# its own).
printf '%s\n' "$*" >>/var/log/domain-script.calls
SCRIPT
machine_run pwexpiry-notifier --sd enable --sn 21 >/dev/null
expect_eq "reminders for local and domain users, 21 days" \
    "$(printf '%s\n' '- Receive notify for local user: true' '- Receive notify for domain user: true' '- Number of days before notify: 21')" \
    "$(machine_run pwexpiry-notifier --info)"

# --- what the tools say about a directory user and a local one
expect_eq "the name service finds carol in the directory" "carol:*:10001:10000:Carol:/home/carol:/bin/bash" \
    "$(machine_run getent passwd carol)"
expect_eq "the local account files do not list carol" "" "$(machine_run grep '^carol:' /etc/passwd)"
expect_tool "id -n -G, directory user: the group with a blank, no domain" id-groups.directory-user id -n -G carol
expect_tool "id -n -G, local user" id-groups.local-user id -n -G alice
# After id, SSSD has looked up carol's groups too, as it has once she logged in.
expect_tool "sssctl user-show, directory user: a name, no domain" sssctl-user-show.directory-user sssctl user-show carol
expect_tool "sssctl user-show, local user: not in SSSD's cache" sssctl-user-show.local-user sssctl user-show alice
OUT=$(machine_run sssctl user-show carol --no-pager 2>&1)
RC=$?
expect_eq "this sssctl refuses --no-pager" "1|Invalid option --no-pager: unknown option" "$RC|$(head -n 1 <<<"$OUT")"

# --- a directory user in an x11 session
machine_login carol x11 seat0 || machine_fail "carol could not log in through PAM"
SESSION_CAROL=$SESSION_ID
machine_check_run
expect_domain_run "directory user" carol 10001

machine_run pwexpiry-notifier --sd disable >/dev/null
machine_check_run
expect_run_ok "directory user, only local reminders"
expect_log_line "directory user, only local reminders: still a domain account" "$(picked carol 10001 domain)"
expect_eq "directory user, only local reminders: the domain script did not run" "" "$(domain_calls)"
expect_no_match "directory user, only local reminders: nothing after the probe" 'PasswordChecker' "$CHECK_LOG"
machine_run pwexpiry-notifier --sd enable >/dev/null

# --- a local user, in a newer session on the same seat
machine_login alice x11 seat0 || machine_fail "alice could not log in"
machine_check_run
expect_local_run "local user"

# --- SSSD serving the local users too (its files provider)
sssd_configure 'enable_files_domain = true'
machine_run systemctl restart sssd || machine_fail "SSSD did not start with the files provider"
expect_tool "sssctl user-show, local user from the files provider: a name, no domain" \
    sssctl-user-show.local-user-files-provider sssctl user-show alice
machine_check_run
expect_local_run "local user, files provider"
machine_run loginctl activate "$SESSION_CAROL"
machine_check_run
expect_domain_run "directory user, files provider" carol 10001

# --- SSSD stopped: sssctl reads SSSD's cache itself, id its memory cache
machine_run systemctl stop sssd
expect_tool "SSSD stopped: sssctl user-show still answers" sssctl-user-show.directory-user sssctl user-show carol
expect_tool "SSSD stopped: id -n -G still answers" id-groups.directory-user id -n -G carol
machine_check_run
expect_domain_run "SSSD stopped" carol 10001

# --- the directory server stopped, carol cached, every cache entry expired:
# SSSD finds the server gone and answers from its cache
machine_run systemctl stop slapd
machine_run systemctl start sssd || machine_fail "SSSD did not start again"
machine_run sss_cache -E
expect_tool "server stopped: sssctl user-show, carol's entry expired" \
    sssctl-user-show.directory-user-expired sssctl user-show carol
expect_tool "server stopped: id -n -G from SSSD's cache" id-groups.directory-user id -n -G carol
machine_check_run
expect_domain_run "server stopped, carol cached" carol 10001
machine_run systemctl start slapd

# --- names qualified by the domain: the name alone decides, no tool runs.
# dave has not logged in before, so logind knows no older name of his.
machine_run systemctl stop sssd
machine_run sh -c 'rm -f /var/lib/sss/db/*'
sssd_configure '' 'use_fully_qualified_names = True'
machine_run systemctl start sssd || machine_fail "SSSD did not start with qualified names"
expect_eq "qualified names: the name service knows dave@example.test" \
    "dave@example.test:*:10002:10000:Dave:/home/dave:/bin/bash" "$(machine_run getent passwd dave@example.test)"
machine_login dave@example.test x11 seat0 || machine_fail "dave@example.test could not log in through PAM"
expect_tool "qualified names: sssctl user-show" sssctl-user-show.qualified sssctl user-show dave@example.test
expect_tool "qualified names: id -n -G" id-groups.qualified id -n -G dave@example.test
# With both tools gone, a run of either would log its start failure.
machine_run mv /usr/sbin/sssctl /usr/sbin/sssctl.away
machine_run mv /usr/bin/id /usr/bin/id.away
machine_check_run
machine_run mv /usr/sbin/sssctl.away /usr/sbin/sssctl
machine_run mv /usr/bin/id.away /usr/bin/id
expect_domain_run "qualified name" dave@example.test 10002
expect_no_match "qualified name: neither sssctl nor id was run" '\[runCmd\]' "$CHECK_LOG"

machine_finish
