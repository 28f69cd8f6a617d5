#!/usr/bin/python3
"""A NetworkManager of the test's own on a private bus, whose network the
test switches:

    fake-networkmanager.py BUS_ADDRESS

Starts connected to the internet over Ethernet. The test drives it through
org.example.FakeNetworkManager on /org/example/FakeNetworkManager:
Set(u state, u deviceType) gives NetworkManager that state (70: online, 20:
disconnected, ...) and, when the device type differs from the present one,
a new primary connection over a device of that type (1: Ethernet, 2: Wi-Fi),
and announces the change as NetworkManager does.
Prints "ready" once the name is owned.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NM = "org.freedesktop.NetworkManager"
NM_PATH = "/org/freedesktop/NetworkManager"
ACTIVE = "org.freedesktop.NetworkManager.Connection.Active"
DEVICE = "org.freedesktop.NetworkManager.Device"
PROPS = "org.freedesktop.DBus.Properties"
CONTROL = "org.example.FakeNetworkManager"
KINDS = {1: "802-3-ethernet", 2: "802-11-wireless"}

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
objects = {}  # path -> (interface, {name: value}), each property with its signature
state = {"connection": 0}


def connect(device_type):
    state["connection"] += 1
    n = state["connection"]
    device = "/org/freedesktop/NetworkManager/Devices/%d" % n
    active = "/org/freedesktop/NetworkManager/ActiveConnection/%d" % n
    objects[device] = (DEVICE, {"DeviceType": dbus.UInt32(device_type)})
    objects[active] = (ACTIVE, {"Type": dbus.String(KINDS.get(device_type, "generic")),
                                "Devices": dbus.Array([dbus.ObjectPath(device)], signature="o"),
                                "Default": dbus.Boolean(True)})
    return dbus.ObjectPath(active), device_type


objects[NM_PATH] = (NM, {"State": dbus.UInt32(70), "Connectivity": dbus.UInt32(4), "Metered": dbus.UInt32(4),
                         "PrimaryConnection": connect(1)[0],
                         "PrimaryConnectionType": dbus.String(KINDS[1])})
state["device_type"] = 1

SIGNATURES = {dbus.UInt32: "u", dbus.String: "s", dbus.ObjectPath: "o", dbus.Boolean: "b"}


def introspection(path):
    interface, props = objects[path]
    lines = ['<node>', '<interface name="%s">' % PROPS,
             '<method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>'
             '<arg type="v" direction="out"/></method>',
             '<method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>',
             '<signal name="PropertiesChanged"><arg type="s"/><arg type="a{sv}"/><arg type="as"/></signal>',
             '</interface>', '<interface name="%s">' % interface]
    for name, value in props.items():
        sig = "ao" if isinstance(value, dbus.Array) else SIGNATURES[type(value)]
        lines.append('<property name="%s" type="%s" access="read"/>' % (name, sig))
    lines += ['</interface>', '</node>']
    return "\n".join(lines)


class Everything(dbus.service.FallbackObject):
    """Every NetworkManager object, answered from `objects`."""

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v", path_keyword="path")
    def Get(self, interface, name, path):
        props = self.GetAll(interface, path=path)
        if name not in props:
            raise dbus.exceptions.DBusException(name, name="org.freedesktop.DBus.Error.UnknownProperty")
        return props[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}", path_keyword="path")
    def GetAll(self, interface, path):
        if path not in objects or objects[path][0] != interface:
            raise dbus.exceptions.DBusException(path, name="org.freedesktop.DBus.Error.UnknownInterface")
        return dbus.Dictionary(objects[path][1], signature="sv")

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s", path_keyword="path")
    def Introspect(self, path):
        return introspection(path) if path in objects else "<node/>"

    @dbus.service.signal(PROPS, signature="sa{sv}as", rel_path_keyword="rel")
    def PropertiesChanged(self, interface, changed, invalidated, rel=None):
        pass


class Control(dbus.service.Object):
    def __init__(self, conn, path, everything):
        super().__init__(conn, path)
        self.everything = everything

    @dbus.service.method(CONTROL, in_signature="uu")
    def Set(self, nm_state, device_type):
        changed = {"State": dbus.UInt32(nm_state),
                   "Connectivity": dbus.UInt32(4 if nm_state == 70 else 1)}
        if device_type != state["device_type"]:
            state["device_type"] = device_type
            changed["PrimaryConnection"] = connect(device_type)[0]
            changed["PrimaryConnectionType"] = dbus.String(KINDS.get(device_type, "generic"))
        objects[NM_PATH][1].update(changed)
        changed = dbus.Dictionary(changed, signature="sv")
        self.everything.PropertiesChanged(NM, changed, dbus.Array([], signature="s"), rel="/NetworkManager")


everything = Everything(bus, "/org/freedesktop")
Control(bus, "/org/example/FakeNetworkManager", everything)
name = dbus.service.BusName(NM, bus)
print("ready", flush=True)
GLib.MainLoop().run()
