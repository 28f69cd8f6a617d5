"""An IMAP account watched in IDLE: mail delivered into the server's
Maildir reaches the desktop's notification service as it arrives, once."""
import os
import subprocess
import time

from desktop import SKIP, Failure, wait_for
from scenarios_trust import scrambled

RECORDING_SERVER = r"""
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
name = dbus.service.BusName("org.freedesktop.Notifications", bus)

class Server(dbus.service.Object):
    last = 0

    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last += 1
        with open(sys.argv[2], "a") as f:
            f.write("%s|%s\n" % (summary, body.replace("\n", "/")))
        return self.last

    @dbus.service.method("org.freedesktop.Notifications", out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions"]

Server(bus, "/org/freedesktop/Notifications")
GLib.MainLoop().run()
"""


def deliver(maildir, n, subject):
    new = os.path.join(maildir, "new")
    path = os.path.join(new, "%d.%d.pelko-push" % (int(time.time()), n))
    with open(path + ".tmp", "wb") as f:
        f.write(b"From: Sender %d <s%d@example.org>\r\nSubject: %s\r\n\r\nbody\r\n" % (n, n, subject.encode()))
    st = os.stat(new)
    os.chown(path + ".tmp", st.st_uid, st.st_gid)
    os.rename(path + ".tmp", path)


class ImapAccount:
    """The tests' dovecot in the scenario's folder with Pelko's one account on
    its IMAP port (user1), and the notifications recorded; `with` it. ok is
    False (and the scenario skips) without root, python3-dbus or imapd."""

    def __init__(self, d, **settings):
        self.d = d
        self.ok = False
        self.script = os.path.join(d.source, "tests", "support", "dovecot.sh")
        self.folder = os.path.join(d.work, "dovecot")
        self.maildir = os.path.join(self.folder, "mail", "user1", "Maildir")
        self.settings = settings

    def __enter__(self):
        if os.geteuid() != 0:
            print("SKIP: the test dovecot needs root")
            return self
        try:
            import dbus  # noqa: F401  python3-dbus
            from gi.repository import GLib  # noqa: F401  python3-gi
        except ImportError:
            return self
        subprocess.run([self.script, "start", self.folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        port_file = os.path.join(self.folder, "port_imap")
        if not os.path.exists(port_file):
            print("SKIP: no dovecot imapd here")
            return self
        with open(port_file) as f:
            self.port = int(f.read())
        self.got = self.d.start_notification_server(RECORDING_SERVER)
        self.d.write_settings(autoconnect=1, autocheck=1, notify=1, icon_tray=0, **self.settings)
        with open(os.path.join(self.d.pelko_dir, "Accounts.ini"), "wb") as f:
            f.write(b"\r\n[Account1]\r\nacc_name = Home\r\nhost_name = imap://127.0.0.1:%d\r\n"
                    b"user_name = user1\r\npassword = %s\r\ninactive = 0\r\n" % (self.port, scrambled("pass1")))
        self.ok = True
        return self

    def __exit__(self, *exc):
        subprocess.run([self.script, "stop", self.folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def deliver(self, n, subject):
        deliver(self.maildir, n, subject)

    def told(self):
        """The notifications so far, a line each."""
        self.d.check_alive()
        if not os.path.exists(self.got):
            return []
        with open(self.got) as f:
            return f.read().splitlines()

    def wait_told(self, subject, what, timeout=20):
        wait_for(what, lambda: any(subject in n for n in self.told()), timeout=timeout)

    def seen_recorded(self):
        return os.path.exists(os.path.join(self.d.pelko_dir, "Pelko.seen"))


def scenario_push_told_once(d):
    with ImapAccount(d) as imap:
        if not imap.ok:
            return SKIP
        imap.deliver(0, "Waiting already")
        d.start_pelko()
        # The start's check puts what waits on record (told as nothing new).
        wait_for("the record of the ids seen", imap.seen_recorded)
        imap.deliver(1, "First push")
        imap.wait_told("First push", "the first notification")
        imap.deliver(2, "Second push")
        imap.wait_told("Second push", "the second notification")
        notes = imap.told()
        if len(notes) != 2 or "1 new message" not in notes[0] or "First push" in notes[1] \
                or "Waiting already" in "".join(notes):
            raise Failure("each message is told once, as it arrives: %r" % notes)
