#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Times the steps of a machine test in a booted Debian machine: boot until
# systemd reports the system running, installing our packages with apt, a
# PAM login until the user's bus is there, the user's display and dunst, one
# check run started as the timer starts it (median of RUNS, a reminder
# delivered each time), and power-off with clean-up. As root:
#   bench/machine_bench.sh DEBDIR [SUITE] [RUNS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=${2:-bookworm} RUNS=${3:-21}

ms_since() {
    echo $((($(date +%s%N) - $1) / 1000000))
}

machine_root_for_debs "$SUITE" "$DEBS" || exit 1
t=$(date +%s%N)
machine_boot "$MACHINE_ROOT" >/dev/null
echo "boot:                 $(ms_since "$t") ms"
t=$(date +%s%N)
machine_install_debs $(machine_debs "$DEBS") || exit 1
echo "install the packages: $(ms_since "$t") ms"
machine_no_dunst_activation
machine_useradd bench
machine_age_password bench 3
t=$(date +%s%N)
machine_login bench x11 seat0 || exit 1
echo "PAM login to bus:     $(ms_since "$t") ms"
t=$(date +%s%N)
machine_desktop bench 1 || exit 1
echo "Xvfb and dunst:       $(ms_since "$t") ms"

times=()
for _ in $(seq "$RUNS"); do
    machine_run systemctl reset-failed pwexpiry-notifier.service
    t=$(date +%s%N)
    machine_run systemctl start pwexpiry-notifier.service
    times+=("$(ms_since "$t")")
done
shown=$(machine_notifications bench | wc -l)
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "check run (systemctl start, $RUNS runs, $shown reminder(s) on the screen): median $(sed -n "$(((RUNS + 1) / 2))p" <<<"$sorted") ms," \
    "min $(head -n 1 <<<"$sorted") ms, max $(tail -n 1 <<<"$sorted") ms"
t=$(date +%s%N)
machine_poweroff
echo "power-off, clean-up:  $(ms_since "$t") ms"
