#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Account classification end to end: the name's form, a scripted directory
# client and the real `id` over groups in the private /etc, driven through
# probedriver (argument 1).
. "$(dirname "$0")/sandbox.sh"
. "$(dirname "$0")/session.sh"
sandbox_enter "$@"
session_setup

DRIVER=$(sandbox_install_bin "$1")

for user in alice bob carol dave; do
    sandbox_useradd "$user" || exit 1
done
# Group names as a directory service hands them out, one with a blank.
printf 'domain users@corp.example:x:5000:bob\nCORP\\staff:x:5001:carol\nplain:x:5002:alice,dave\n' >>/etc/group

classify() {
    rm -f "$SANDBOX/calls/sssctl"
    capture "$DRIVER" classify "$1"
    ACCOUNT=$(printf '%s\n' "$OUT" | sed -n 's/^account=//p')
    ELAPSED=$(printf '%s\n' "$OUT" | sed -n 's/^elapsed_ms=//p')
    SSSCTL=$(stub_calls sssctl | paste -sd' ')
}

# --- The name alone.
classify 'alice@corp.example'
expect_eq "user@domain: domain, no tool, no log" "domain||" "$ACCOUNT|$SSSCTL|$ERR"
classify 'CORP\alice'
expect_eq "DOMAIN\\user: domain, no tool, no log" "domain||" "$ACCOUNT|$SSSCTL|$ERR"

# --- The directory client.
directory_entry alice <<<$'Name: alice\nDomain name: corp.example\nUID: 1000'
classify alice
expect_eq "domain name: domain" "domain" "$ACCOUNT"
expect_eq "directory client arguments" "user-show alice --" "$SSSCTL"
expect_eq "directory client: no log" "" "$ERR"

directory_entry alice <<<$'  dOmAiN nAmE  :  Corp  '
classify alice
expect_eq "domain name in mixed case: domain" "domain" "$ACCOUNT"

directory_entry alice <<<'Name: CORP\alice'
classify alice
expect_eq "backslash in name: the plain groups decide, local" "local" "$ACCOUNT"

directory_entry carol <<<$'domain-name: corp.example\nDomain name:\nName: carol'
classify carol
expect_eq "empty domain name hides domain-name: carol's CORP\\staff group decides" "domain" "$ACCOUNT"
directory_entry alice <<<$'domain-name: corp.example\nDomain name:\nName: alice'
classify alice
expect_eq "empty domain name hides domain-name: plain groups, local" "local" "$ACCOUNT"

directory_entry dave <<<'Name: dave@corp.example'
echo 1 >"$DIRECTORY/dave.rc"
classify dave
expect_eq "directory answer with exit 1 is discarded: local" "local|" "$ACCOUNT|$ERR"

# --- The group list, after a directory client that knows nothing.
classify bob
expect_eq "group name with a blank and a domain: domain" "domain" "$ACCOUNT"
expect_eq "unknown to the directory: asked, no log" "user-show bob --|" "$SSSCTL|$ERR"
classify nosuchuser
expect_eq "no such user: id fails, local" "local|" "$ACCOUNT|$ERR"

# --- A directory client that hangs is killed after 3 s; the groups decide.
directory_entry dave <<<'Domain name: corp.example'
rm -f "$DIRECTORY/dave.rc"
echo 20 >"$DIRECTORY/dave.sleep"
classify dave
expect_eq "hanging directory client: local from the groups" "local" "$ACCOUNT"
expect_eq "hanging directory client: time-out line" '[runCmd] timeout: "/usr/sbin/sssctl" ("user-show", "dave")' "$ERR"
echo "classification with a hanging directory client: ${ELAPSED} ms"
expect_eq "hanging directory client: 3 s, at most 7 s" yes "$([ "$ELAPSED" -ge 3000 ] && [ "$ELAPSED" -lt 7000 ] && echo yes || echo "no: $ELAPSED")"

# --- Neither tool installed.
umount /usr/sbin/sssctl && rm -f /usr/sbin/sssctl || exit 1
sandbox_add_to_dir /usr/bin && rm -f /usr/bin/id || exit 1
classify bob
expect_eq "no tools: local" "local" "$ACCOUNT"
expect_eq "no tools: two start failures" '[runCmd] start failed: "/usr/sbin/sssctl" ("user-show", "bob")
[runCmd] start failed: "/usr/bin/id" ("-n", "-G", "bob")' "$ERR"

sandbox_finish
