#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What a flood of the login socket costs, in a booted Debian machine with our
# packages: alice is in her graphical session and has had her reminder; then
# mallory, logged in on a text console, connects COUNT times in SECONDS
# seconds. Prints the answers mallory got, the check runs started, the
# processes started in the machine meanwhile (the flood's own client aside),
# the CPU time of the gate, the journal lines written (all of the machine's,
# and those of the gate and the login check runs), and what reached alice's
# screen. As root:
#   bench/login_gate_bench.sh DEBDIR [SUITE] [COUNT] [SECONDS]
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/machine/machine.sh" || exit 1
machine_require
DEBS=$1 SUITE=${2:-bookworm} COUNT=${3:-200} SECONDS_=${4:-20}

machine_start "$DEBS" "$SUITE" >/dev/null
machine_sh 'mkdir -p /etc/systemd/user && printf "%s\n" "[Unit]" "Description=A desktop session as the benchmark stages it" \
    "BindsTo=graphical-session.target" "Wants=xdg-desktop-autostart.target" >/etc/systemd/user/pwexpiry-test-desktop.target'
# The timer's first run, two minutes after boot, would remind alice.
machine_run systemctl stop pwexpiry-notifier.timer
machine_useradd alice
machine_useradd mallory
machine_age_password alice 5
uid=$(machine_run id -u alice)
machine_login alice x11 seat0 >/dev/null || exit 1
machine_display alice 1 || exit 1
machine_as_user alice systemctl --user set-environment XDG_SESSION_TYPE=x11 DISPLAY=:1
machine_notification_daemon alice 1 || exit 1
machine_as_user alice systemctl --user start pwexpiry-test-desktop.target
machine_wait 20 "alice's reminder" sh -c \
    'runuser -u alice -- env DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$1/bus dunstctl count displayed | grep -qv "^0$"' sh "$uid" || exit 1
machine_notifications alice >/dev/null
# mallory's login comes first, so that what it starts is not counted.
machine_login mallory tty >/dev/null || exit 1
mallory_unit=$SESSION_UNIT

gate_cpu_ms() {
    machine_sh 'pid=$(systemctl show -p MainPID --value pwexpiry-notifier-login.service)
        [ "$pid" != 0 ] || { echo 0; exit; }
        awk -v hz="$(getconf CLK_TCK)" "{print int((\$14 + \$15) * 1000 / hz)}" /proc/$pid/stat'
}
runs() {
    machine_run journalctl --no-pager -o cat -u 'pwexpiry-notifier-login@*' _PID=1 | grep -c '^Finished '
}
journal_lines() {
    machine_run journalctl --no-pager -o cat --since "@$1" "${@:2}" | grep -vc '^-- '
}

# One flood from inside the machine: prints "PROCESSES ANSWERS", PROCESSES the
# processes the machine started from just before to just after it.
flood() {
    machine_sh '
        before=$(cat /proc/sys/kernel/ns_last_pid)
        answers=$(runuser -u mallory -- python3 -c "$3" "$1" "$2")
        after=$(cat /proc/sys/kernel/ns_last_pid)
        echo "$((after - before)) $answers"' "$1" "$2" '
import collections, socket, sys, time
count, seconds = int(sys.argv[1]), float(sys.argv[2])
answers = collections.Counter()
start = time.monotonic()
for i in range(count):
    s = socket.socket(socket.AF_UNIX)
    s.settimeout(5)
    try:
        s.connect("/run/pwexpiry-notifier/login.socket")
        answers[s.makefile("rb").readline().decode().strip() or "(none)"] += 1
    except OSError:
        answers["error"] += 1
    s.close()
    time.sleep(max(0, start + (i + 1) * seconds / count - time.monotonic()))
print(" ".join("%s:%d" % kv for kv in sorted(answers.items())))'
}

sleep 2
# The flood's own processes: a flood of no connections.
read -r own _ <<<"$(flood 0 0)"
runs_before=$(runs)
cpu_before=$(gate_cpu_ms)
since=$(date +%s)
read -r processes answers <<<"$(flood "$COUNT" "$SECONDS_")"
sleep 1
echo "flood: $COUNT connections in $SECONDS_ s by a user on a text console"
echo "answers:                          $answers"
echo "check runs started:               $(($(runs) - runs_before))"
echo "processes started in the machine: $((processes - own)) (beyond the $own of a flood of no connections)"
echo "CPU time of the gate:             $(($(gate_cpu_ms) - cpu_before)) ms"
echo "journal lines, whole machine:     $(journal_lines "$since")"
echo "journal lines, gate and runs:     $(journal_lines "$since" -u pwexpiry-notifier-login.socket -u pwexpiry-notifier-login.service -u 'pwexpiry-notifier-login@*')"
echo "notifications on alice's screen:  $(machine_notifications alice | grep -c .)"
machine_logout "$mallory_unit"
machine_finish >/dev/null
