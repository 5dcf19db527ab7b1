#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Ansible role under contrib/ansible passes ansible-lint (Debian's
# package), with the settings in contrib/ansible/.ansible-lint. Skipped (77)
# where ansible-lint is not installed.
#   ansible_lint.sh SOURCE_DIR
set -u
command -v ansible-lint >/dev/null 2>&1 || { echo "SKIP: ansible-lint is not installed"; exit 77; }
cd "$1/contrib/ansible" || exit 1
# No colours and no writes into the tree (its cache goes to a scratch HOME).
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
HOME=$scratch NO_COLOR=1 ANSIBLE_LOCAL_TEMP=$scratch/tmp ansible-lint --nocolor roles/pwexpiry
