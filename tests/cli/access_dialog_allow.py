#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
# Stands in for the desktop's permission dialog: an org.freedesktop.impl.portal.Access backend on
# the session bus whose AccessDialog answers "allow" (response 0) and logs every request.
# Usage: access_dialog_allow.py BUS-NAME; prints "ready" once it owns the name.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ACCESS = "org.freedesktop.impl.portal.Access"


class AccessDialog(dbus.service.Object):
    @dbus.service.method(ACCESS, in_signature="osssssa{sv}", out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent_window, title, subtitle, body, options):
        print(f"AccessDialog app_id={str(app_id)!r} title={str(title)!r}", flush=True)
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(sys.argv[1], bus, do_not_queue=True)
    AccessDialog(name, "/org/freedesktop/portal/desktop")
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
