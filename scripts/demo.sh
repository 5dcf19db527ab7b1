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
