#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Ansible role of contrib/ansible on a fleet of six booted machines, three
# Debian 12 and three Debian 13, driven by this machine's ansible-playbook
# over ssh: each connection is an `sshd -i` started inside the machine's
# namespaces by the ProxyCommand, so no network is involved.
#
#   ansible_test.sh DEBDIR_BOOKWORM DEBDIR_TRIXIE
#
# The first run installs our packages and sets the whole policy, changing
# every machine; a second run with the same variables changes none. Each
# machine's files and pwexpiry-notifier then hold the policy. A machine whose
# login.defs defines a key twice fails on its own, with the check's lines as
# the message, while the others take a new value.
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
for tool in ansible-playbook ssh ssh-keygen; do
    command -v "$tool" >/dev/null 2>&1 || machine_skip "$tool is not installed"
done
ansible-doc -t callback ansible.posix.json >/dev/null 2>&1 || machine_skip "Ansible's json output (package ansible) is not installed"
DEBS_bookworm=$1 DEBS_trixie=$2
ROLES=$(cd "$(dirname "$0")/../../contrib/ansible/roles" && pwd)
HOSTS=(bookworm1 bookworm2 bookworm3 trixie1 trixie2 trixie3)
BROKEN=trixie2

declare -A ROOT
for suite in bookworm trixie; do
    local_debs=DEBS_$suite
    machine_root_for_debs "$suite" "${!local_debs}" ansible || machine_fail "no root for $suite with the set ansible"
    ROOT[$suite]=$MACHINE_ROOT
done

WORK=$(mktemp -d /tmp/pwexpiry-ansible.XXXXXX) || exit 1
cleanup() {
    machine_poweroff_all
    rm -rf "$WORK"
}
MACHINE_EXIT_TRAP=cleanup
ssh-keygen -q -t ed25519 -N '' -C pwexpiry-ansible-test -f "$WORK/key" || machine_fail "no key"

# --- six machines, each reached through its own ProxyCommand
start=$(date +%s%N)
echo '[bookworm]' >"$WORK/inventory"
for host in "${HOSTS[@]}"; do
    [ "$host" != trixie1 ] || printf '\n[trixie]\n' >>"$WORK/inventory"
    machine_boot "${ROOT[${host%[0-9]}]}"
    machine_ssh_key "$WORK/key.pub" || machine_fail "$host: no ssh key for root"
    machine_ansible_host "$host" >>"$WORK/inventory"
    machine_hold "$host"
done
printf '\n[all:vars]\nansible_user=root\nansible_python_interpreter=/usr/bin/python3\nansible_ssh_private_key_file=%s\n' "$WORK/key" >>"$WORK/inventory"
# Our .deb files for each release, in an inventory of their own: a run
# without it installs from apt.
for suite in bookworm trixie; do
    debs=DEBS_$suite
    printf '[%s:vars]\npwexpiry_deb_dir=%s\n\n' "$suite" "${!debs}"
done >"$WORK/debs"
echo "INFO: six machines up in $((($(date +%s%N) - start) / 1000000)) ms"

cat >"$WORK/site.yml" <<'YAML'
- name: Password expiry policy
  hosts: all
  roles:
    - pwexpiry
YAML

# The whole policy, every value unlike the packages' and Debian's defaults.
cat >"$WORK/policy.yml" <<'YAML'
pwexpiry_pass_min_days: 2
pwexpiry_pass_max_days: 60
pwexpiry_pass_warn_age: 10
pwexpiry_inactive: 30
pwexpiry_expire: 2031-12-31
pwexpiry_receive_notify_for_local: false
pwexpiry_receive_notify_for_domain: true
pwexpiry_notify_days: 21
YAML
POLICY='PASS_MIN_DAYS=2
PASS_MAX_DAYS=60
PASS_WARN_AGE=10
INACTIVE=30
EXPIRE=2031-12-31
RECEIVE_NOTIFY_FOR_LOCAL=false
RECEIVE_NOTIFY_FOR_DOMAIN=true
NOTIFY_DAYS=21'

# Runs the play with the given further options; its JSON result goes to
# $WORK/NAME.json and its time is printed: play NAME [OPTION...]
INVENTORY=(-i "$WORK/inventory")
WITH_DEBS=(-i "$WORK/inventory" -i "$WORK/debs")
play() {
    local name=$1 start rc
    shift
    start=$(date +%s%N)
    ANSIBLE_STDOUT_CALLBACK=json ANSIBLE_ROLES_PATH=$ROLES ANSIBLE_HOST_KEY_CHECKING=False \
        ANSIBLE_HOME=$WORK/ansible ANSIBLE_LOCAL_TEMP=$WORK/tmp ANSIBLE_SSH_CONTROL_PATH_DIR=$WORK/cp \
        ANSIBLE_FORKS=6 ANSIBLE_NOCOLOR=1 \
        ansible-playbook "$WORK/site.yml" "$@" >"$WORK/$name.json" 2>"$WORK/$name.err"
    rc=$?
    echo "INFO: $name run: exit $rc in $((($(date +%s%N) - start) / 1000000)) ms"
    return $rc
}

# One line per host of a run's stats: HOST changed=N failures=N unreachable=N
stats() {
    python3 - "$WORK/$1.json" <<'PY'
import json, sys
stats = json.load(open(sys.argv[1]))["stats"]
for host in sorted(stats):
    s = stats[host]
    print(f"{host} changed={s['changed']} failures={s['failures']} unreachable={s['unreachable']}")
PY
}

# The result of HOST in the task named TASK of a run, as JSON: result RUN TASK HOST
result() {
    python3 - "$WORK/$1.json" "$2" "$3" <<'PY'
import json, sys
run, task, host = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
for play in run["plays"]:
    for t in play["tasks"]:
        if t["task"]["name"].split(" : ")[-1] == task and host in t["hosts"]:
            print(json.dumps(t["hosts"][host]))
PY
}

show_run() {
    echo "----- $1 run"
    stats "$1"
    sed 's/^/stderr: /' "$WORK/$1.err"
}

# Checks that every machine in HOST... holds the policy given as --policy
# prints it, in its files and through pwexpiry-notifier: holds_policy WHAT POLICY HOST...
holds_policy() {
    local what=$1 policy=$2 host key value file line
    shift 2
    for host in "$@"; do
        machine_use "$host"
        expect_eq "$what: $host: --policy" "$policy" "$(machine_run pwexpiry-notifier --policy)"
        expect_eq "$what: $host: --info" "$(printf '%s\n' \
            "- Receive notify for local user: $(sed -n 's/^RECEIVE_NOTIFY_FOR_LOCAL=//p' <<<"$policy")" \
            "- Receive notify for domain user: $(sed -n 's/^RECEIVE_NOTIFY_FOR_DOMAIN=//p' <<<"$policy")" \
            "- Number of days before notify: $(sed -n 's/^NOTIFY_DAYS=//p' <<<"$policy")")" \
            "$(machine_run pwexpiry-notifier --info)"
        while IFS='=' read -r key value; do
            case "$key" in
            PASS_*)
                expect_eq "$what: $host: login.defs has one $key line, $value" "$key $value" \
                    "$(machine_run grep -E "^[[:space:]]*$key([[:space:]]|\$)" /etc/login.defs | tr -s ' \t' ' ')" ;;
            INACTIVE | EXPIRE)
                expect_eq "$what: $host: useradd has $key=$value" "$key=$value" \
                    "$(machine_run grep -E "^$key=" /etc/default/useradd)" ;;
            *)
                expect_eq "$what: $host: config.ini has $key=$value" "$key=$value" \
                    "$(machine_run grep -E "^$key=" /etc/password-expiration-policy/config.ini)" ;;
            esac
        done <<<"$policy"
        expect_eq "$what: $host: the check finds nothing" "" "$(machine_run pwexpiry-notifier --check)"
    done
}

# --- first run: packages and the whole policy on every machine
play first "${WITH_DEBS[@]}" -e "@$WORK/policy.yml"
expect_eq "first run: ansible-playbook exits 0" 0 "$?"
show_run first
for host in "${HOSTS[@]}"; do
    expect_match "first run: $host changed, nothing failed" "^$host changed=[1-9][0-9]* failures=0 unreachable=0\$" \
        "$(stats first | grep "^$host ")"
    expect_eq "first run: $host: the policy was set with one command" "true" \
        "$(result first 'Set the policy' "$host" | python3 -c 'import json,sys; r=json.load(sys.stdin); print(str(r["changed"] and r["rc"] == 0).lower())')"
done
holds_policy "first run" "$POLICY" "${HOSTS[@]}"
for host in bookworm1 trixie1; do
    machine_use "$host"
    expect_eq "first run: $host: our three packages are installed" "$(printf 'ii\nii\nii')" \
        "$(machine_run dpkg-query -W -f '${db:Status-Abbrev}\n' pwexpiry-notifier kcm-pwexpiry pwexpiry-policy-helper | tr -d ' ')"
done

# --- second run: the same variables change nothing
play second "${WITH_DEBS[@]}" -e "@$WORK/policy.yml"
expect_eq "second run: ansible-playbook exits 0" 0 "$?"
show_run second
for host in "${HOSTS[@]}"; do
    expect_eq "second run: $host unchanged" "$host changed=0 failures=0 unreachable=0" "$(stats second | grep "^$host ")"
done
holds_policy "second run" "$POLICY" "${HOSTS[@]}"

# --- a broken login.defs: that machine fails with the check's lines, the
# others take a new maximum and keep every value the run does not give; the
# packages now come from apt (already installed, nothing to fetch).
machine_use "$BROKEN"
machine_sh 'printf "PASS_MAX_DAYS\t30\n" >>/etc/login.defs'
BROKEN_CHECK=$(machine_run pwexpiry-notifier --check)
BROKEN_DEFS=$(machine_run cat /etc/login.defs)
expect_match "the broken machine's check names the second PASS_MAX_DAYS" '^/etc/login\.defs:[0-9]+: error: .*PASS_MAX_DAYS' "$BROKEN_CHECK"
play broken "${INVENTORY[@]}" -e pwexpiry_pass_max_days=45
expect_eq "broken run: ansible-playbook exits 2 (a host failed)" 2 "$?"
show_run broken
for host in "${HOSTS[@]}"; do
    if [ "$host" = "$BROKEN" ]; then
        expect_eq "broken run: $host failed" "$host changed=0 failures=1 unreachable=0" "$(stats broken | grep "^$host ")"
    else
        expect_match "broken run: $host changed, nothing failed" "^$host changed=[1-9][0-9]* failures=0 unreachable=0\$" \
            "$(stats broken | grep "^$host ")"
    fi
done
FAILED=$(result broken 'Fail when the policy files do not validate' "$BROKEN")
echo "----- what Ansible reports for $BROKEN"
echo "$FAILED"
expect_eq "broken run: $BROKEN fails with the check's lines as the message" "$BROKEN_CHECK" \
    "$(python3 -c 'import json,sys; r=json.load(sys.stdin); print(r["msg"] if r.get("failed") else "not failed")' <<<"$FAILED")"
expect_eq "broken run: $BROKEN: the role never tried to set the policy" "" "$(result broken 'Set the policy' "$BROKEN")"
machine_use "$BROKEN"
expect_eq "broken run: $BROKEN: login.defs as it was" "$BROKEN_DEFS" "$(machine_run cat /etc/login.defs)"
holds_policy "broken run" "${POLICY/PASS_MAX_DAYS=60/PASS_MAX_DAYS=45}" $(printf '%s\n' "${HOSTS[@]}" | grep -vx "$BROKEN")

machine_finish
