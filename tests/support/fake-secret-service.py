#!/usr/bin/python3
"""A Secret Service of the test's own on a private session bus, for what a
real keyring seldom does on purpose:

    fake-secret-service.py BUS_ADDRESS MODE [SECRET]

MODE silent: owns the name and never answers anything;
     open: one unlocked item (account "Work", host "pop.example.org") holding
           SECRET ("\r", "\n" written as such; "s3cret" when not given);
     prompt-open: that item is locked and its unlock prompt is never answered;
     prompt-dismissed: that item is locked and its unlock prompt is dismissed;
     refusing: every search is refused, with an escape sequence in its text.
Prints "ready" once the name is owned.
"""
import sys

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "org.freedesktop.Secret.Service"
ITEM = "org.freedesktop.Secret.Item"
PROMPT = "org.freedesktop.Secret.Prompt"
PROPS = "org.freedesktop.DBus.Properties"
ITEM_PATH = "/org/freedesktop/secrets/collection/login/1"
ATTRIBUTES = {"account": "Work", "host": "pop.example.org", "xdg:schema": "org.example.pelko.Account"}

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
mode = sys.argv[2]
secret = (sys.argv[3] if len(sys.argv) > 3 else "s3cret").encode().decode("unicode_escape").encode("latin-1")
state = {"locked": mode.startswith("prompt")}


def swallow(_bus, message):
    # Every call is taken and none is answered.
    if message.get_type() == 1:  # method call
        return dbus.lowlevel.HANDLER_RESULT_HANDLED
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


def value():
    return dbus.Struct((dbus.ObjectPath("/org/freedesktop/secrets/session/1"), dbus.ByteArray(b""),
                        dbus.ByteArray(secret), "text/plain"), signature="oayays")


class Service(dbus.service.Object):
    @dbus.service.method(SERVICE, in_signature="sv", out_signature="vo")
    def OpenSession(self, algorithm, _input):
        if algorithm != "plain":
            raise dbus.exceptions.DBusException("only plain", name="org.freedesktop.DBus.Error.NotSupported")
        return dbus.String("", variant_level=1), dbus.ObjectPath("/org/freedesktop/secrets/session/1")

    @dbus.service.method(SERVICE, in_signature="a{ss}", out_signature="aoao")
    def SearchItems(self, attributes):
        if mode == "refusing":
            raise dbus.exceptions.DBusException("no\x1b[31m", name="org.freedesktop.DBus.Error.AccessDenied")
        if any(ATTRIBUTES.get(k) != v for k, v in attributes.items()):
            return dbus.Array([], signature="o"), dbus.Array([], signature="o")
        hit = dbus.Array([dbus.ObjectPath(ITEM_PATH)], signature="o")
        none = dbus.Array([], signature="o")
        return (none, hit) if state["locked"] else (hit, none)

    @dbus.service.method(SERVICE, in_signature="aoo", out_signature="a{o(oayays)}")
    def GetSecrets(self, items, _session):
        if state["locked"]:
            return dbus.Dictionary({}, signature="o(oayays)")
        return dbus.Dictionary({dbus.ObjectPath(p): value() for p in items if p == ITEM_PATH},
                               signature="o(oayays)")

    @dbus.service.method(SERVICE, in_signature="ao", out_signature="aoo")
    def Unlock(self, _objects):
        return dbus.Array([], signature="o"), dbus.ObjectPath("/org/freedesktop/secrets/prompt/1")

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, _interface):
        return {"Collections": dbus.Array([dbus.ObjectPath("/org/freedesktop/secrets/collection/login")],
                                          signature="o")}


class Item(dbus.service.Object):
    @dbus.service.method(ITEM, in_signature="o", out_signature="(oayays)")
    def GetSecret(self, _session):
        if state["locked"]:
            raise dbus.exceptions.DBusException("locked", name="org.freedesktop.Secret.Error.IsLocked")
        return value()

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, _interface):
        return {"Locked": dbus.Boolean(state["locked"]), "Label": "Pelko: Work (pop.example.org)",
                "Attributes": dbus.Dictionary(ATTRIBUTES, signature="ss"),
                "Created": dbus.UInt64(0), "Modified": dbus.UInt64(0)}


class Prompt(dbus.service.Object):
    @dbus.service.method(PROMPT, in_signature="s")
    def Prompt(self, _window):
        if mode == "prompt-dismissed":
            GLib.idle_add(lambda: self.Completed(True, dbus.Array([], signature="o", variant_level=1)) and False)

    @dbus.service.method(PROMPT)
    def Dismiss(self):
        self.Completed(True, dbus.Array([], signature="o", variant_level=1))

    @dbus.service.signal(PROMPT, signature="bv")
    def Completed(self, dismissed, result):
        pass


if mode == "silent":
    bus.add_message_filter(swallow)
else:
    Service(bus, "/org/freedesktop/secrets")
    Item(bus, ITEM_PATH)
    Prompt(bus, "/org/freedesktop/secrets/prompt/1")
name = dbus.service.BusName("org.freedesktop.secrets", bus)
print("ready", flush=True)
GLib.MainLoop().run()
