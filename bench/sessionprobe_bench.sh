#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Prints how long the session probe and its tool runs take, in a sandbox with
# a scripted loginctl and directory client and real sockets:
#
#   bash bench/sessionprobe_bench.sh build/bin/probedriver [ROUNDS]
#
# Needs root (private namespaces); exits 77 otherwise. The bus-wait figure
# costs about five seconds a round.
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/autotests/system/sandbox.sh"
. "$top/autotests/system/session.sh"
sandbox_enter --net "$@"
session_setup

DRIVER=$(sandbox_install_bin "$1")
ROUNDS=${2:-3}
sandbox_useradd alice >/dev/null || exit 1
sandbox_useradd bob >/dev/null || exit 1
A=$(id -u alice)
B=$(id -u bob)
session_runtime_dir alice
session_listen alice "/run/user/$A/bus" || exit 1

# figure LABEL DRIVER-ARGS...: the driver's elapsed_ms over ROUNDS runs.
figure() {
    local label=$1 all=() i ms
    shift
    for i in $(seq "$ROUNDS"); do
        ms=$("$DRIVER" "$@" 2>/dev/null | sed -n 's/^elapsed_ms=//p')
        all+=("$ms")
    done
    printf '%-58s %s ms\n' "$label" "${all[*]}"
}

echo "== runner"
echo 20 >"$DIRECTORY/alice.sleep"
figure "classification, directory client hangs (3000 ms time-out)" classify alice
rm -f "$DIRECTORY/alice.sleep"
figure "classification, directory client exits 1, id runs" classify alice

echo "== failed passes"
rm -f "$SESSIONS/list"
figure "pass, loginctl list-sessions fails" pass
session_clear
figure "pass, empty session list" pass
for i in 1 2 3 4 5; do
    session_line "$i $A alice seat0 tty$i"
    session_props "$i" tty yes
done
figure "pass, five active tty sessions" pass
echo 20 >"$SESSIONS/list.sleep"
figure "pass, loginctl list-sessions hangs (3000 ms time-out)" pass
rm -f "$SESSIONS/list.sleep"
figure "retry wrapper, 10 passes over five tty sessions, 500 ms pauses" probe 10 500

echo "== bus wait"
session_clear
session_line "2 $A alice seat0 tty2"
session_props 2 wayland yes
figure "pass, alice's bus present at once" pass
session_clear
session_line "3 $B bob seat0 tty3"
session_props 3 x11 yes
ROUNDS=1 figure "pass, bob's bus never appears" pass
