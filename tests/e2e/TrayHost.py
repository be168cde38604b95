#!/usr/bin/python3
"""A minimal D-Bus tray for tests: StatusNotifierWatcher and host in one process.

Run inside a private session bus (dbus-run-session). It writes the bus address to
--address-file once it owns the watcher name, waits for an item to register, then reads
the item's menu (AboutToShow and GetLayout on com.canonical.dbusmenu) and writes one line
per menu entry to --layout-file:

    <id> <depth> <submenu 0|1> <enabled 0|1> <label as sent>\t<label as shown>

With --click LABEL it then sends Event(id, "clicked") to the first entry shown as LABEL.
Every step is also stamped (CLOCK_MONOTONIC, seconds) into --log-file, for benchmarks.
"""
import argparse
import os
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"

# Qt reads IsStatusNotifierHostRegistered through introspection: it must be declared here.
INTROSPECTION = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
   <arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
</node>
"""


def shown(label):
    """The text a host shows for a dbusmenu label: "_x" marks a mnemonic, "__" is "_"."""
    out, i = [], 0
    while i < len(label):
        if label[i] == "_" and i + 1 < len(label):
            i += 1
        out.append(label[i])
        i += 1
    return "".join(out)


class Watcher(dbus.service.Object):
    def __init__(self, bus, on_item, log):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []
        self.on_item = on_item
        self.log = log

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # The argument is a bus name or an object path on the caller's connection.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        self.items.append(name + path)
        self.log("registered " + name + path)
        self.StatusNotifierItemRegistered(name + path)
        # Answer first: the caller may block on this call.
        GLib.idle_add(self.on_item, name, path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER)
    def StatusNotifierHostRegistered(self):
        pass

    def props(self):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props()[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.props()

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION


def flatten(node, depth, out):
    ident, props, children = node
    if depth > 0:
        out.append((int(ident), depth, props.get("children-display", "") == "submenu",
                    bool(props.get("enabled", True)), str(props.get("label", "")),
                    str(props.get("type", "standard"))))
    for child in children:
        flatten(child, depth + 1, out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--address-file", required=True)
    ap.add_argument("--layout-file", required=True)
    ap.add_argument("--log-file")
    ap.add_argument("--click")
    args = ap.parse_args()

    def log(what):
        if args.log_file:
            with open(args.log_file, "a") as f:
                f.write("%.6f %s\n" % (time.clock_gettime(time.CLOCK_MONOTONIC), what))

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()

    def on_item(name, path):
        try:
            item = bus.get_object(name, path)
            menu_path = item.Get(ITEM, "Menu", dbus_interface=PROPS)
            log("menu " + str(menu_path))
            menu = dbus.Interface(bus.get_object(name, menu_path), MENU)
            menu.AboutToShow(0, timeout=120)
            log("about-to-show")
            _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), timeout=120)
            log("layout")
            entries = []
            flatten(layout, 0, entries)
            tmp = args.layout_file + ".tmp"
            with open(tmp, "w") as f:
                for ident, depth, sub, enabled, label, kind in entries:
                    if kind == "separator":
                        label = "-"
                    f.write("%d %d %d %d %s\t%s\n" % (ident, depth, sub, enabled, label,
                                                      shown(label)))
            os.rename(tmp, args.layout_file)
            log("entries %d" % len(entries))
            if args.click:
                for ident, _, _, _, label, _ in entries:
                    if shown(label) == args.click:
                        menu.Event(ident, "clicked", dbus.Int32(0, variant_level=1),
                                   dbus.UInt32(0))
                        log("clicked %d" % ident)
                        break
        except dbus.DBusException as e:
            log("error " + str(e))
            sys.stderr.write("tray host: %s\n" % e)
        return False

    watcher = Watcher(bus, on_item, log)
    bus.request_name(WATCHER)
    watcher.StatusNotifierHostRegistered()
    tmp = args.address_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(os.environ["DBUS_SESSION_BUS_ADDRESS"] + "\n")
    os.rename(tmp, args.address_file)
    log("ready")
    loop.run()


if __name__ == "__main__":
    main()
