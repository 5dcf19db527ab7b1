#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Times the Ansible role of contrib/ansible on six booted machines, three
# Debian 12 and three Debian 13, reached over ssh through a ProxyCommand
# (no network): booting them, the first run (our packages from .deb files and
# the whole policy) and a second run that changes nothing, with FORKS forks
# (default 6), and a third run in which one host fails its policy check. As
# root:
#   bench/ansible_bench.sh DEBDIR_BOOKWORM DEBDIR_TRIXIE [FORKS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
command -v ansible-playbook >/dev/null 2>&1 || machine_skip "ansible-playbook is not installed"
DEBS_bookworm=$1 DEBS_trixie=$2 FORKS=${3:-6}
HOSTS=(bookworm1 bookworm2 bookworm3 trixie1 trixie2 trixie3)

ms_since() {
    echo $((($(date +%s%N) - $1) / 1000000))
}

declare -A ROOT
for suite in bookworm trixie; do
    debs=DEBS_$suite
    machine_root_for_debs "$suite" "${!debs}" ansible >/dev/null || exit 1
    ROOT[$suite]=$MACHINE_ROOT
done
WORK=$(mktemp -d /tmp/pwexpiry-ansible-bench.XXXXXX) || exit 1
cleanup() {
    machine_poweroff_all
    rm -rf "$WORK"
}
MACHINE_EXIT_TRAP=cleanup
ssh-keygen -q -t ed25519 -N '' -f "$WORK/key" || exit 1

t=$(date +%s%N)
for host in "${HOSTS[@]}"; do
    machine_boot "${ROOT[${host%[0-9]}]}" >/dev/null
    machine_ssh_key "$WORK/key.pub" || exit 1
    machine_ansible_host "$host" >>"$WORK/hosts"
    machine_hold "$host"
done
echo "boot six machines:  $(ms_since "$t") ms"
{
    printf '[bookworm]\n'; grep '^bookworm' "$WORK/hosts"
    printf '[trixie]\n'; grep '^trixie' "$WORK/hosts"
    printf '[bookworm:vars]\npwexpiry_deb_dir=%s\n[trixie:vars]\npwexpiry_deb_dir=%s\n' "$DEBS_bookworm" "$DEBS_trixie"
    printf '[all:vars]\nansible_user=root\nansible_python_interpreter=/usr/bin/python3\nansible_ssh_private_key_file=%s\n' "$WORK/key"
} >"$WORK/inventory"
printf '%s\n' '- name: Password expiry policy' '  hosts: all' '  roles:' '    - pwexpiry' >"$WORK/site.yml"
printf '%s\n' 'pwexpiry_pass_min_days: 1' 'pwexpiry_pass_max_days: 90' 'pwexpiry_pass_warn_age: 14' \
    'pwexpiry_inactive: 30' 'pwexpiry_expire: none' 'pwexpiry_receive_notify_for_local: true' \
    'pwexpiry_receive_notify_for_domain: true' 'pwexpiry_notify_days: 10' >"$WORK/policy.yml"

# The third run finds a login.defs with PASS_MAX_DAYS twice on trixie2: that
# host fails at the check, the others go on.
for run in first second broken; do
    if [ "$run" = broken ]; then
        machine_use trixie2
        machine_sh 'printf "PASS_MAX_DAYS\t30\n" >>/etc/login.defs'
    fi
    t=$(date +%s%N)
    ANSIBLE_ROLES_PATH=$top/contrib/ansible/roles ANSIBLE_HOME=$WORK/ansible ANSIBLE_LOCAL_TEMP=$WORK/tmp \
        ANSIBLE_SSH_CONTROL_PATH_DIR=$WORK/cp ANSIBLE_NOCOLOR=1 \
        ansible-playbook -f "$FORKS" -i "$WORK/inventory" "$WORK/site.yml" -e "@$WORK/policy.yml" >"$WORK/$run.log" 2>&1
    rc=$?
    echo "$run run ($FORKS forks, 6 hosts): $(ms_since "$t") ms, exit $rc"
    grep -E '^fatal:' "$WORK/$run.log" | sed 's/^/    /'
    sed -n '/^PLAY RECAP/,$p' "$WORK/$run.log" | grep -E '^\S+ +:' | sed 's/  */ /g; s/^/    /'
done
t=$(date +%s%N)
machine_poweroff_all
echo "power off six:      $(ms_since "$t") ms"
