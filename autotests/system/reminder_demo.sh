#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The notifier's main job, shown on any machine: a check run of the built
# notifier reminds a test user whose password expires in a few days, and the
# notification server on that user's session bus prints what it received.
# Everything happens in a sandbox (private /etc, /run/user, network and
# process namespaces); only logind is played by a stand-in loginctl.
#   reminder_demo.sh PATH-TO-pwexpiry-notifier
. "$(dirname "$0")/sandbox.sh" || exit 1
. "$(dirname "$0")/notify.sh" || exit 1
sandbox_enter --net "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "$1")
USER_NAME=demo
DAYS_LEFT=4
MAX_DAYS=90

printf 'PASS_MAX_DAYS\t%s\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' $MAX_DAYS >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings true false 14
sandbox_useradd $USER_NAME
chage -d "$(date -d "-$((MAX_DAYS - DAYS_LEFT)) days" +%F)" -M $MAX_DAYS $USER_NAME

echo "-- reminder settings in the sandbox (pwexpiry-notifier --info)"
"$NOTIFIER" --info
echo
echo "-- test user '$USER_NAME' (uid $(id -u $USER_NAME)), from chage -l:"
chage -l $USER_NAME | grep -E 'Last password change|Password expires|Maximum number'
notify_start_session $USER_NAME || { echo "could not start the user's session"; exit 1; }
echo "-- session bus of $USER_NAME: $NOTIFY_BUS_ADDRESS"
echo "-- notification server on it owns org.freedesktop.Notifications"
echo "-- stand-in loginctl lists: $(/usr/bin/loginctl list-sessions --no-legend | xargs)" \
    "($(/usr/bin/loginctl show-session c7 -p Type -p Active --value | xargs))"
echo
echo "-- check run: pwexpiry-notifier (as root, no options); its log:"
capture "$NOTIFIER"
printf '%s\n' "$ERR" | sed 's/^/   /'
echo "-- exit status: $RC"
echo
echo "-- the notification server received:"
/usr/bin/python3 -c '
import json, sys
urgency = {0: "low", 1: "normal", 2: "critical"}
for line in open(sys.argv[1]):
    n = json.loads(line)
    print("   title:      %s" % n["summary"])
    print("   body:       %s" % n["body"])
    print("   urgency:    %s (%s)" % (n["urgency"], urgency.get(n["urgency"], "?")))
    print("   icon:       %s" % n["icon"])
    print("   replace id: %s" % n["replaces_id"])
' "$(notify_log $USER_NAME)"
echo

expect_eq "the reminder arrived" "Password Expiry|The password expires in $DAYS_LEFT days!|dialog-warning|1337|2" \
    "$(notify_received $USER_NAME)"
expect_eq "check run status" 0 "$RC"
sandbox_finish
