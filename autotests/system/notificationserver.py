#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
# A desktop notification server for tests: owns org.freedesktop.Notifications
# on the session bus of $DBUS_SESSION_BUS_ADDRESS and appends one JSON line per
# Notify call to the file given as first argument. Touches the file given as
# second argument once the name is owned.
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.last_id = 0

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces_id, icon, summary, body, actions, hints, timeout):
        self.last_id += 1
        record = {"app": str(app), "replaces_id": int(replaces_id), "icon": str(icon), "summary": str(summary),
                  "body": str(body), "urgency": int(hints["urgency"]) if "urgency" in hints else None,
                  "timeout": int(timeout)}
        with open(self.log, "a") as f:
            f.write(json.dumps(record) + "\n")
        return int(replaces_id) or self.last_id

    @dbus.service.method(IFACE, out_signature="as")
    def GetCapabilities(self):
        return ["body", "icon-static"]

    @dbus.service.method(IFACE, out_signature="ssss")
    def GetServerInformation(self):
        return ("pwexpiry-test-server", "pwexpiry", "1.0", "1.2")

    @dbus.service.method(IFACE, in_signature="u")
    def CloseNotification(self, notification_id):
        pass


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName(IFACE, bus, do_not_queue=True)
server = Server(bus, sys.argv[1])
open(sys.argv[2], "w").close()
GLib.MainLoop().run()
