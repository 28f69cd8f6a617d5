"""The main window on a real desktop: a failing account among working ones,
one Pelko per configuration folder, a place off the screen, the first start
without an account, and the status line while and after mail is read."""
import os
import signal
import socket
import subprocess
import threading
import time

from desktop import BACKGROUND, CONNECT, STATUS, AtSpi, Failure, open_message_window, wait_for

CHECK = (78 + 13, 26 + 13)
DISCONNECT = (46 + 13, 26 + 13)
NEXT_BUTTON = (58 + 14, 298 + 14)
# Near the right end of the status line, past the end of a short text.
STATUS_END = (15 + 7 * 24, 66 + 5)
# The configuration dialog's OK button.
DIALOG_OK = (287, 276)
# AT-SPI's state bit of an object on screen.
STATE_SHOWING = 25


def labels(atspi):
    return [n for n in atspi.pelko() or [] if n["role"] == "label"]


def status_text(d, atspi):
    """The status line as a screen reader reads it (the first label of the
    main window: the status line is built first)."""
    d.check_alive()
    for n in atspi.pelko() or []:
        if n["role"] == "label":
            return n["name"]
    return None


def wait_status(d, atspi, want, timeout=30):
    seen = []

    def probe():
        seen[:] = [status_text(d, atspi)]
        return seen[0] == want

    try:
        wait_for("the status line to read %r" % want, probe, timeout=timeout)
    except Failure:
        raise Failure("the status line reads %r, not %r" % (seen[0] if seen else None, want))


def box_saying(d, atspi, owner, text, before):
    """Waits for a message box over owner whose text holds text; closes it."""
    box = wait_for("a box", lambda: d.new_windows(before))[0]
    d.check_above(box, owner, "the box")
    try:
        wait_for("the box's text", lambda: any(text in n["name"] for n in labels(atspi)), timeout=10)
    except Failure:
        raise Failure("no box text holds %r; texts: %r" % (text, [n["name"] for n in labels(atspi)]))
    d.run("xdotool", "windowactivate", "--sync", str(box), check=False)
    d.keys("Return")
    wait_for("the box to close", lambda: not d.viewable(box))


class SilentServer:
    """Takes connections on a loopback port. The first is kept open and never
    answered (a server that hangs); the later ones are closed at once (then
    it is down). Counts what it took."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.accepted = 0
        self.held = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.accepted += 1
            if self.accepted == 1:
                self.held.append(conn)
            else:
                conn.close()


def write_two_accounts(d, first, second):
    """Accounts.ini with the demo account twice (name, port) in this order."""
    out = b""
    for i, (name, port) in enumerate((first, second), 1):
        text = subprocess.run([d.demo_script, "accounts", str(port)], stdout=subprocess.PIPE, check=True).stdout
        out += text.replace(b"[Account1]", b"[Account%d]" % i).replace(b"acc_name = Demo", b"acc_name = " +
                                                                        name.encode())
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
        f.write(out)


def demo_port(d):
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "rb") as f:
        text = f.read().decode("latin-1")
    return int(text.split("host_name = 127.0.0.1:", 1)[1].split("\r", 1)[0])


def scenario_failing_account(d):
    """A silent account keeps neither the user's Connect nor Disconnect from
    the others: Connect names its failure in a box and goes on with the next
    account; Disconnect after a failed check stops the checking."""
    atspi = d.start_accessibility()
    d.write_settings(icon_tray=0)
    d.start_demo(keep="Subject: Welcome to Pelko")
    silent = SilentServer()
    write_two_accounts(d, ("Alice", demo_port(d)), ("Silent", silent.port))
    main = d.start_pelko()
    wait_status(d, atspi, "Alice-1 message")

    # The check button goes on to Silent, which keeps the login waiting.
    d.click(main, *CHECK)
    wait_for("the login to Silent", lambda: silent.accepted == 1)
    d.click(main, *DISCONNECT)
    wait_status(d, atspi, "Disconnected", timeout=10)

    # Connect starts where the last check was: Silent fails, then Alice.
    before = set(d.client_windows())
    d.click(main, *CONNECT)
    box_saying(d, atspi, main, "Account: Silent (127.0.0.1:%d)" % silent.port, before)
    wait_status(d, atspi, "Alice-1 message")

    # A check of Silent that failed, then Disconnect: everything stops.
    before = set(d.client_windows())
    d.click(main, *CHECK)
    box_saying(d, atspi, main, "Account: Silent (127.0.0.1:%d)" % silent.port, before)
    d.click(main, *DISCONNECT)
    wait_status(d, atspi, "Disconnected", timeout=10)


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def scenario_one_instance(d):
    """A place off the screen is brought back onto it; a second start for the
    same folder brings the first Pelko's window forward and ends; a crashed
    Pelko's leftovers keep no start from working."""
    d.write_settings(icon_tray=0, autoconnect=0, posX=5000, posY=300)
    d.write_accounts("Home", closed_port())
    main = d.start_pelko()
    x, y, w, h = wait_for("the main window's place", lambda: d.geometry(main))
    if x + w // 2 > 1024 or x < -w // 2:
        raise Failure("saved at 5000,300, the window stands at %d,%d (%dx%d) on a screen 1024 wide" % (x, y, w, h))
    first = d.pelko

    d.run("xdotool", "windowminimize", "--sync", str(main))
    before = set(d.client_windows())
    second = d.spawn([d.exe], "pelko-second.log")
    try:
        code = second.wait(15)
    except subprocess.TimeoutExpired:
        raise Failure("a second Pelko for the same folder is still running (windows: %r)" %
                      [hex(w) for w in d.new_windows(before)])
    if code != 0:
        raise Failure("the second Pelko ended with status %d" % code)
    wait_for("the first window to come forward", lambda: d.viewable(main), timeout=10)
    if d.new_windows(before):
        raise Failure("the second start left a window")
    d.check_alive()

    # Killed: the lock goes with the process, the socket file stays behind.
    first.send_signal(signal.SIGKILL)
    first.wait(10)
    wait_for("the killed window to go", lambda: main not in d.client_windows(), timeout=10)
    d.pelko = d.spawn([d.exe], "pelko-third.log")
    wait_for("a new start's window", lambda: d.new_windows(set()), timeout=20)


def scenario_first_run(d):
    """Without any account the first start opens the configuration dialog on
    its Accounts page, over the main window; the account made there is
    checked once the dialog is confirmed."""
    atspi = d.start_accessibility()
    d.write_settings(icon_tray=0)
    d.start_demo(keep="Subject: Welcome to Pelko")
    port = demo_port(d)
    os.remove(os.path.join(d.pelko_dir, "Accounts.ini"))
    main = d.start_pelko()
    dialog = wait_for("the configuration dialog", lambda: [w for w in d.new_windows({main})])[0]
    d.check_above(dialog, main, "the configuration dialog")

    def page_shown():
        for n in atspi.pelko() or []:
            if n["role"] == "panel" and n["name"].strip() == "Account Info :":
                states = atspi.obj(n["ref"]).GetState(dbus_interface=AtSpi.ACCESSIBLE)
                return bool(int(states[0]) & (1 << STATE_SHOWING))
        return False

    wait_for("the Accounts page", page_shown, timeout=10)
    # The name field has the focus; Enter adds the account.
    d.run("xdotool", "windowactivate", "--sync", str(dialog), check=False)
    for text in ("Demo", "127.0.0.1:%d" % port, "demo", "pelko-demo"):
        d.run("xdotool", "type", "--delay", "20", text)
        d.keys("Tab")
    d.keys("Return")
    wait_for("the account in Accounts.ini", lambda: os.path.exists(os.path.join(d.pelko_dir, "Accounts.ini")))
    d.click(dialog, *DIALOG_OK)
    wait_for("the dialog to close", lambda: not d.viewable(dialog))
    wait_status(d, atspi, "Demo-1 message")


ENCODED_SUBJECT = """From: Jane <jane@example.org>
To: demo@pelko.example.org
Subject: =?UTF-8?B?R3LDvMOfZQ==?=
Date: Mon, 7 Dec 2026 10:00:00 +0000
Message-ID: <subject-test@pelko.example.org>

Hello.
"""


def scenario_status_line(d):
    """While a message is read the status line shows its subject decoded, then
    the count again; the count's tooltip has one line per account however
    often it is counted; after Configure, OK a double click on the status line
    opens the message window at once."""
    atspi = d.start_accessibility()
    d.write_settings(icon_tray=0)
    d.start_demo(add=ENCODED_SUBJECT)
    port = demo_port(d)
    write_two_accounts(d, ("Demo", port), ("Second", port))
    main = d.start_pelko()
    wait_status(d, atspi, "Demo-1 message")
    d.click(main, *CHECK)
    wait_status(d, atspi, "Second-1 message")

    msg = open_message_window(d, main)
    wait_status(d, atspi, "Second-Subject: Gr\u00fc\u00dfe")
    for _ in range(2):  # each step counts the mailbox again
        d.click(msg, *NEXT_BUTTON)
        wait_status(d, atspi, "Second-Subject: Gr\u00fc\u00dfe")
    count = [n for n in labels(atspi) if n["name"] == "1"]
    if not count or count[0]["description"] != "Demo : 1\nSecond : 1":
        raise Failure("the count's tooltip reads %r" % (count[0]["description"] if count else None))
    d.run("xdotool", "windowactivate", "--sync", str(msg), check=False)
    d.keys("Escape")
    wait_for("the message window to close", lambda: not d.viewable(msg))
    wait_status(d, atspi, "Second-1 message")

    before = set(d.client_windows())
    d.popup(main, *BACKGROUND)
    d.keys("Down", "Return")  # Configure, the first entry
    dialog = wait_for("the configuration dialog", lambda: d.new_windows(before))[0]
    d.keys("Return")  # OK
    wait_for("the dialog to close", lambda: not d.viewable(dialog))
    before = set(d.client_windows())
    d.click(main, *STATUS_END, repeat=2)
    try:
        wait_for("the message window", lambda: d.new_windows(before), timeout=10)
    except Failure:
        raise Failure("a double click on the status line (reading %r) opened nothing" % status_text(d, atspi))
