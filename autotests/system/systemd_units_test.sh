#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The scheduling units as `cmake --install` stages them: present where
# systemd looks for system units, pointing at the installed notifier, and
# accepted by `systemd-analyze verify` without a single complaint.
#   systemd_units_test.sh CMAKE BUILD-DIR UNIT-DIR SBIN-DIR LIBEXEC-DIR
. "$(dirname "$0")/sandbox.sh" || exit 1
sandbox_enter "$@" || exit 1

CMAKE=$1
BUILD=$2
UNIT_DIR=$3
SBIN_DIR=$4
LIBEXEC_DIR=$5
STAGE=$SANDBOX/stage

capture env DESTDIR="$STAGE" "$CMAKE" --install "$BUILD"
expect_eq "cmake --install: status" 0 "$RC"

SERVICE=$STAGE$UNIT_DIR/pwexpiry-notifier.service
TIMER=$STAGE$UNIT_DIR/pwexpiry-notifier.timer
SOCKET=$STAGE$UNIT_DIR/pwexpiry-notifier-login.socket
LOGIN_SERVICE=$STAGE$UNIT_DIR/pwexpiry-notifier-login@.service
GATE=$STAGE$UNIT_DIR/pwexpiry-notifier-login.service
expect_eq "service installed" yes "$([ -f "$SERVICE" ] && echo yes || echo no)"
expect_eq "timer installed" yes "$([ -f "$TIMER" ] && echo yes || echo no)"
expect_eq "notifier installed" yes "$([ -x "$STAGE$SBIN_DIR/pwexpiry-notifier" ] && echo yes || echo no)"
expect_match "unit directory is a systemd system unit directory" '^(/usr)?/lib/systemd/system$' "$UNIT_DIR"

expect_eq "service runs the installed notifier, once per start" \
    "Type=oneshot|ExecStart=$SBIN_DIR/pwexpiry-notifier" \
    "$(grep -E '^Type=' "$SERVICE")|$(grep -E '^ExecStart=' "$SERVICE")"
expect_eq "service runs as root" "" "$(grep -E '^(User|Group|DynamicUser)=' "$SERVICE")"
expect_eq "timer: shortly after boot, then once a day" "OnBootSec=2min|OnUnitActiveSec=1d" \
    "$(grep -E '^OnBootSec=' "$TIMER")|$(grep -E '^OnUnitActiveSec=' "$TIMER")"
expect_eq "timer is enabled through timers.target" "WantedBy=timers.target" "$(grep -E '^WantedBy=' "$TIMER")"
# One gate serves every connection (no Accept=yes: no unit, and no journal
# lines, per connection).
expect_eq "login socket: open to anyone, one gate for all connections" \
    "ListenStream=/run/pwexpiry-notifier/login.socket|SocketMode=0666|WantedBy=sockets.target" \
    "$(grep -E '^(ListenStream|Accept|MaxConnections|SocketMode|WantedBy)=' "$SOCKET" | tr '\n' '|' | sed 's/|$//')"
expect_eq "the gate runs the installed program, without any capability" "ExecStart=$LIBEXEC_DIR/pwexpiry-login-gate|CapabilityBoundingSet=" \
    "$(grep -E '^(ExecStart|CapabilityBoundingSet)=' "$GATE" | tr '\n' '|' | sed 's/|$//')"
expect_eq "the gate remembers the reminded sessions until reboot" \
    "RuntimeDirectory=pwexpiry-notifier/reminded|RuntimeDirectoryMode=0700|RuntimeDirectoryPreserve=yes" \
    "$(grep -E '^RuntimeDirectory' "$GATE" | tr '\n' '|' | sed 's/|$//')"
expect_eq "a login's check run is for its session only" "ExecStart=$SBIN_DIR/pwexpiry-notifier --session %i" "$(grep -E '^ExecStart=' "$LOGIN_SERVICE")"
# Both services that start a check run carry the same sandbox and time-out.
expect_eq "both check-run services: the same sandbox" "$(grep -vE '^(#|Description=|ExecStart=|StandardInput=|\[|$)' "$SERVICE")" \
    "$(grep -vE '^(#|Description=|ExecStart=|StandardInput=|\[|$)' "$LOGIN_SERVICE")"
expect_contains "check runs end after five minutes at most" "TimeoutStartSec=5min" "$(cat "$SERVICE")"
AUTOSTART=$STAGE/etc/xdg/autostart/pwexpiry-login-reminder.desktop
expect_eq "autostart entry starts the installed user-side program" "yes" \
    "$(exe=$(sed -n 's/^Exec=//p' "$AUTOSTART"); [ -x "$STAGE$exe" ] && echo yes || echo "no: $exe")"

# Enabling the timer, as the README tells, hooks it into timers.target.
capture systemctl --root="$STAGE" enable pwexpiry-notifier.timer
expect_eq "systemctl enable: status" 0 "$RC"
expect_eq "systemctl enable: timer wanted by timers.target" "$UNIT_DIR/pwexpiry-notifier.timer" \
    "$(readlink "$STAGE/etc/systemd/system/timers.target.wants/pwexpiry-notifier.timer")"

# verify checks that ExecStart names an executable: put the staged notifier
# where the unit expects it, in this sandbox only.
sandbox_add_to_dir "$SBIN_DIR"
install -m 755 "$STAGE$SBIN_DIR/pwexpiry-notifier" "$SBIN_DIR/pwexpiry-notifier"
sandbox_add_to_dir "$LIBEXEC_DIR"
install -m 755 "$STAGE$LIBEXEC_DIR/pwexpiry-login-gate" "$LIBEXEC_DIR/pwexpiry-login-gate"
# The units name the installed manual page; man finds it in the stage. The
# socket finds its service beside it.
capture env MANPATH="$STAGE/usr/share/man" SYSTEMD_UNIT_PATH="$STAGE$UNIT_DIR:" systemd-analyze verify "$TIMER" "$SERVICE" "$SOCKET" "$GATE" "$LOGIN_SERVICE"
expect_eq "systemd-analyze verify: no complaints" "0||" "$RC|$OUT|$ERR"

# The same check does notice a broken unit.
sed 's/^OnBootSec=.*/OnBootSec=soon/' "$TIMER" >"$SANDBOX/pwexpiry-notifier.timer"
cp "$SERVICE" "$SANDBOX/pwexpiry-notifier.service"
capture systemd-analyze verify "$SANDBOX/pwexpiry-notifier.timer" "$SANDBOX/pwexpiry-notifier.service"
expect_contains "verify reports a bad timer value" "Failed to parse timer value" "$ERR"
rm "$SBIN_DIR/pwexpiry-notifier"
capture systemd-analyze verify "$TIMER" "$SERVICE"
expect_contains "verify reports a missing notifier" "$SBIN_DIR/pwexpiry-notifier is not executable" "$ERR"

sandbox_finish
