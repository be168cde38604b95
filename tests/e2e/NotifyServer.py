#!/usr/bin/python3
"""A notification service for tests: owns org.freedesktop.Notifications on the session bus
and appends one line per Notify call to --log-file:

    <id> <replaces_id> <image 0|1> <default action 0|1> <body>

It writes the bus address to --address-file once it owns the name.
"""
import argparse
import os

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Service(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, PATH)
        self.log = log
        self.next_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces:
            nid = int(replaces)
        else:
            self.next_id += 1
            nid = self.next_id
        image = 1 if "image-data" in hints else 0
        default = 1 if "default" in [str(a) for a in actions[0::2]] else 0
        with open(self.log, "a", encoding="utf-8") as f:
            f.write("%d %d %d %d %s\n" % (nid, int(replaces), image, default,
                                          str(body).replace("\n", " ")))
        return dbus.UInt32(nid)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions", "body-images"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["test", "ocelis", "1", "1.2"]

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address-file", required=True)
    parser.add_argument("--log-file", required=True)
    args = parser.parse_args()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus)
    service = Service(bus, args.log_file)
    open(args.log_file, "a").close()
    tmp = args.address_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(os.environ.get("DBUS_SESSION_BUS_ADDRESS", ""))
    os.rename(tmp, args.address_file)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
