#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up a fresh Debian 12 machine, builds pwexpiry and shows what it does.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/deps.sh
bash scripts/build.sh build

echo
echo "== pwexpiry-notifier --info (this machine's reminder settings)"
./build/bin/pwexpiry-notifier --info || echo "(the policy files could not be read: status $?)"

echo
echo "== A check run reminding a test user whose password expires in 4 days"
echo "   (in a sandbox: private /etc, /run/user and namespaces; nothing on this machine changes)"
bash autotests/system/reminder_demo.sh build/bin/pwexpiry-notifier
