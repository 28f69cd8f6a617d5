"""The message window as a user meets it: where it opens, its keys, selecting
and copying its text, its scroll bar, the delete question; and the click on a
new-mail notification that opens it."""
import os
import shutil
import subprocess
import time

from desktop import Failure, wait_for, open_message_window, SKIP

# The check button of the default skin, in the main window.
CHECK = (78 + 13, 26 + 13)
# The text area of the message window (default skin) and its scroll bar.
MEMO = (26, 60, 512, 220)

FRESH = """From: Fresh Sender <fresh@example.org>
To: demo@pelko.example.org
Subject: Fresh news
Date: Mon, 7 Dec 2026 10:00:00 +0000
Message-ID: <fresh@pelko.example.org>

The newest message.
""" + "".join("Line %d of a long message.\n" % i for i in range(60))


def add_mail(d, text):
    """Drops a message into the demo mailbox; it sorts after those there."""
    new = os.path.join(d.demo_dir, "mail", "demo", "Maildir", "new")
    path = os.path.join(new, "%d.9.pelko-test" % (int(time.time()) + 100000))
    with open(path, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode())
    st = os.stat(new)
    os.chown(path, st.st_uid, st.st_gid)


def seen_file(d):
    """What Pelko.seen holds (the ids of the last check), None before the first."""
    try:
        with open(os.path.join(d.pelko_dir, "Pelko.seen"), "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def announce_new_mail(d, main):
    """Waits for the first check, adds FRESH and has the check button find it."""
    before = wait_for("the first check to record the mailbox", lambda: seen_file(d))
    add_mail(d, FRESH)
    d.click(main, *CHECK)
    wait_for("the check to find the new message", lambda: seen_file(d) not in (None, before))


EMPTY = "(nothing copied yet)"


def clear_clipboard(d):
    # xclip stays behind to serve what it holds: no pipe of ours to wait on.
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=EMPTY.encode(), env=d.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)


def clipboard(d):
    text = d.run("xclip", "-o", "-selection", "clipboard", check=False)
    return None if text == EMPTY else text


def copied_text(d):
    """Selects all of the message window's text and copies it; the clipboard."""
    clear_clipboard(d)
    d.keys("ctrl+a", "ctrl+c")
    return wait_for("the text on the clipboard", lambda: clipboard(d), timeout=10)


def shown_subject(d):
    """The Subj line of the message window's text."""
    lines = [line for line in copied_text(d).splitlines() if line.startswith("Subj : ")]
    return lines[0] if lines else None


def wait_subject(d, want, *keys):
    """Presses keys, then waits for the window to show the subject line want."""
    d.check_alive()
    got = [None]

    def probe():
        got[0] = shown_subject(d)
        return got[0] == want

    if keys:
        d.keys(*keys)
    try:
        wait_for(want, probe, timeout=15)
    except Failure:
        raise Failure("the window shows %r, not %r" % (got[0], want))


def pixel(d, win, x, y):
    """The RGB value at x, y of a window."""
    shot = os.path.join(d.work, "pixel.ppm")
    d.run("import", "-window", str(win), "-crop", "1x1+%d+%d" % (x, y), "+repage", "-depth", "8", shot)
    with open(shot, "rb") as f:
        data = f.read()
    # Binary PPM: "P6", width, height, 255, then the pixels.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    at += 1
    return tuple(data[at:at + 3])


def scenario_message_window(d):
    """Opens at the message just announced, with its scroll bar's thumb at
    the top; text can be selected with the mouse and copied; Right, Left,
    Alt+Left step; Delete asks first and No keeps the message."""
    if not shutil.which("xclip"):
        return SKIP
    d.write_settings(icon_tray=0)
    d.start_demo()
    main = d.start_pelko()
    announce_new_mail(d, main)
    msg = open_message_window(d, main)

    # Drag over the first lines of the text: they are selected and copied.
    x, y = MEMO[0] + 4, MEMO[1] + 3
    d.run("xdotool", "mousemove", "--window", str(msg), str(x), str(y), "mousedown", "1",
          "mousemove", "--window", str(msg), str(x + 200), str(y + 20),
          "mousemove", "--window", str(msg), str(x + 420), str(y + 36), "mouseup", "1")
    clear_clipboard(d)
    d.keys("ctrl+c")
    copied = wait_for("the selection on the clipboard", lambda: clipboard(d), timeout=10)
    if not copied.startswith("From : Fresh Sender <fresh@example.org>\nSubj : Fresh news"):
        raise Failure("the mouse selection copied %r" % copied)
    d.screenshot("msgwin-selected")

    # The text shows its top, and so does its scroll bar: its thumb, drawn
    # darker than its groove (in the skin's dark text colour), is at the top.
    bar_x = MEMO[0] + MEMO[2] - 6
    top = pixel(d, msg, bar_x, MEMO[1] + 8)
    bottom = pixel(d, msg, bar_x, MEMO[1] + MEMO[3] - 8)
    if sum(top) > sum(bottom) - 100:
        raise Failure("the scroll bar is not darker at its top %r than at its bottom %r" % (top, bottom))

    wait_subject(d, "Subj : Fresh news")
    wait_subject(d, "Subj : Welcome to Pelko", "Right")  # after the last: the first
    wait_subject(d, "Subj : Fresh news", "Left")
    wait_subject(d, "Subj : Lunch?", "alt+Left")

    # Delete asks; No keeps the message.
    before = set(d.client_windows())
    d.keys("Delete")
    box = wait_for("the delete question", lambda: d.new_windows(before))[0]
    d.screenshot("msgwin-delete-question")
    d.check_above(box, msg, "the delete question")
    d.keys("n")  # No
    wait_for("the question to go", lambda: box not in d.new_windows(before))
    wait_subject(d, "Subj : Lunch?")
    new = os.path.join(d.demo_dir, "mail", "demo", "Maildir")
    kept = sum(len(os.listdir(os.path.join(new, sub))) for sub in ("new", "cur"))
    if kept != 5:
        raise Failure("%d messages on the server after No, not 5" % kept)


NOTIFY_SERVER = r"""
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
name = dbus.service.BusName("org.freedesktop.Notifications", bus)

class Server(dbus.service.Object):
    def __init__(self, *a):
        dbus.service.Object.__init__(self, *a)
        self.last = 0

    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last += 7
        with open(sys.argv[2] + ".new", "w") as f:
            f.write("%d\n%s\n%s" % (self.last, " ".join(actions), summary))
        import os
        os.replace(sys.argv[2] + ".new", sys.argv[2])
        if "default" in actions:
            GLib.timeout_add(300, self.click, self.last)  # the user clicks it
        return self.last

    def click(self, nid):
        self.ActionInvoked(nid, "default")
        self.NotificationClosed(nid, 2)
        return False

    @dbus.service.signal("org.freedesktop.Notifications", signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.signal("org.freedesktop.Notifications", signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.method("org.freedesktop.Notifications", out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions"]

Server(bus, "/org/freedesktop/Notifications")
print("ready", flush=True)
GLib.MainLoop().run()
"""


def scenario_notification_click(d):
    """A click on the new-mail notification (its default action) opens the
    message window at the first new message it announced."""
    try:
        import dbus  # noqa: F401  python3-dbus
        from gi.repository import GLib  # noqa: F401  python3-gi
    except ImportError:
        return SKIP
    if not shutil.which("xclip"):
        return SKIP
    got = d.start_notification_server(NOTIFY_SERVER)
    d.write_settings(icon_tray=0, notify=1)
    d.start_demo()
    main = d.start_pelko()
    before = set(d.client_windows())
    announce_new_mail(d, main)
    wait_for("the notification", lambda: os.path.exists(got))
    with open(got) as f:
        sent = f.read()
    if "default Open" not in sent.splitlines()[1]:
        raise Failure("the notification offers no default action: %r" % sent)
    # No double click: the notification's click opens the window.
    msg = wait_for("the message window", lambda: d.new_windows(before))[0]
    d.screenshot("msgwin-from-notification")
    wait_subject(d, "Subj : Fresh news")
    d.keys("Escape")
    wait_for("the message window to close", lambda: msg not in d.new_windows(before))
