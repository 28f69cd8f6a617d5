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


def scenario_push_told_once(d):
    if os.geteuid() != 0:
        print("SKIP: the test dovecot needs root")
        return SKIP
    try:
        import dbus  # noqa: F401  python3-dbus
        from gi.repository import GLib  # noqa: F401  python3-gi
    except ImportError:
        return SKIP
    script = os.path.join(d.source, "tests", "support", "dovecot.sh")
    folder = os.path.join(d.work, "dovecot")
    subprocess.run([script, "start", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    try:
        port_file = os.path.join(folder, "port_imap")
        if not os.path.exists(port_file):
            print("SKIP: no dovecot imapd here")
            return SKIP
        with open(port_file) as f:
            port = int(f.read())
        maildir = os.path.join(folder, "mail", "user1", "Maildir")
        deliver(maildir, 0, "Waiting already")
        got = d.start_notification_server(RECORDING_SERVER)
        d.write_settings(autoconnect=1, autocheck=1, notify=1, icon_tray=0)
        with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
            f.write(b"\r\n[Account1]\r\nacc_name = Home\r\nhost_name = imap://127.0.0.1:%d\r\n"
                    b"user_name = user1\r\npassword = %s\r\ninactive = 0\r\n" % (port, scrambled("pass1")))
        d.start_pelko()
        # The start's check puts what waits on record (told as nothing new).
        wait_for("the record of the ids seen", lambda: os.path.exists(os.path.join(d.pelko_dir, "Pelko.seen")))

        def told():
            d.check_alive()
            if not os.path.exists(got):
                return []
            with open(got) as f:
                return f.read().splitlines()

        deliver(maildir, 1, "First push")
        wait_for("the first notification", lambda: any("First push" in n for n in told()), timeout=20)
        deliver(maildir, 2, "Second push")
        wait_for("the second notification", lambda: any("Second push" in n for n in told()), timeout=20)
        notes = told()
        if len(notes) != 2 or "1 new message" not in notes[0] or "First push" in notes[1] \
                or "Waiting already" in "".join(notes):
            raise Failure("each message is told once, as it arrives: %r" % notes)
    finally:
        subprocess.run([script, "stop", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
