#!/usr/bin/python3
"""A login manager of the test's own on a private bus, which records what it
is asked and announces sleep when the test says so:

    fake-logind.py BUS_ADDRESS

org.freedesktop.login1 answers Inhibit with one end of a pipe and notes when
the caller closes it. The test drives it through org.example.FakeLogind on
/org/example/FakeLogind: Sleep(b) sends PrepareForSleep(b); Log() returns
what happened, one entry each: "inhibit WHAT WHO MODE", "released".
Prints "ready" once the name is owned.
"""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

MANAGER = "org.freedesktop.login1.Manager"
CONTROL = "org.example.FakeLogind"

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
log = []


def watch(read_end):
    def closed(fd, _condition):
        # The caller's end is closed (or the caller is gone): the lock is free.
        os.close(fd)
        log.append("released")
        return False
    GLib.io_add_watch(read_end, GLib.PRIORITY_DEFAULT, GLib.IO_HUP | GLib.IO_ERR | GLib.IO_IN, closed)


class Manager(dbus.service.Object):
    @dbus.service.method(MANAGER, in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, _why, mode):
        log.append("inhibit %s %s %s" % (what, who, mode))
        read_end, write_end = os.pipe()
        watch(read_end)
        try:
            return dbus.types.UnixFd(write_end)  # holds a copy of its own
        finally:
            os.close(write_end)

    @dbus.service.signal(MANAGER, signature="b")
    def PrepareForSleep(self, start):
        pass


class Control(dbus.service.Object):
    def __init__(self, conn, path, manager):
        super().__init__(conn, path)
        self.manager = manager

    @dbus.service.method(CONTROL, in_signature="b")
    def Sleep(self, start):
        self.manager.PrepareForSleep(start)

    @dbus.service.method(CONTROL, out_signature="as")
    def Log(self):
        return dbus.Array(log, signature="s")


manager = Manager(bus, "/org/freedesktop/login1")
Control(bus, "/org/example/FakeLogind", manager)
name = dbus.service.BusName("org.freedesktop.login1", bus)
print("ready", flush=True)
GLib.MainLoop().run()
