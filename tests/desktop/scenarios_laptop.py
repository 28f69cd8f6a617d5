"""A laptop's day: the machine sleeps while a check waits or while an IMAP
account is watched, the network goes and comes back, a server refuses the
sign-in. The login manager and NetworkManager are the test's own
(tests/support/fake-logind.py, fake-networkmanager.py) on a private system
bus.
A refused sign-in waiting for a click is played in tests/app (the retry
plan's clock is a test hook there)."""
import os
import subprocess
import time

import scenarios_push as push
from desktop import SKIP, Failure, wait_for
from scenarios_mainwin import CHECK, SilentServer, status_text, wait_status
from scenarios_waits import scrambled

# The socket layer's failure texts: none of them may reach the status line
# when the machine, not the server, ended a check.
FAILURE_TEXTS = ("Socket Error", "timed out", "Connection Closed", "error")


class SystemBus:
    """A private system bus for Pelko with one of the test's fakes on it."""

    def __init__(self, d, fake):
        import dbus  # python3-dbus
        config = os.path.join(d.source, "tests", "support", "private-system-bus.conf")
        r, w = os.pipe()
        d.spawn(["dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile", "--print-address=%d" % w],
                "system-bus.log", pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as f:
            self.address = f.readline().strip()
        if not self.address:
            raise Failure("the private system bus did not start")
        d.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.address
        script = os.path.join(d.source, "tests", "support", fake)
        p = subprocess.Popen(["/usr/bin/python3", script, self.address], env=d.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE)
        d.procs.append(p)
        if p.stdout.readline().strip() != b"ready":
            raise Failure(fake + " did not start")
        self.bus = dbus.bus.BusConnection(self.address)

    def call(self, service, path, interface, method, *args):
        return self.bus.get_object(service, path).get_dbus_method(method, interface)(*args)


class Logind(SystemBus):
    def __init__(self, d):
        super().__init__(d, "fake-logind.py")

    def sleep(self, start):
        self.call("org.freedesktop.login1", "/org/example/FakeLogind", "org.example.FakeLogind", "Sleep", start)

    def log(self):
        return [str(e) for e in self.call("org.freedesktop.login1", "/org/example/FakeLogind",
                                          "org.example.FakeLogind", "Log")]


class NetworkManager(SystemBus):
    def __init__(self, d):
        super().__init__(d, "fake-networkmanager.py")

    def set(self, state, device_type=1):
        import dbus
        self.call("org.freedesktop.NetworkManager", "/org/example/FakeNetworkManager",
                  "org.example.FakeNetworkManager", "Set", dbus.UInt32(state), dbus.UInt32(device_type))


def deliver(d, subject):
    """A message into the demo mailbox, as if it arrived just now."""
    new = os.path.join(d.demo_dir, "mail", "demo", "Maildir", "new")
    path = os.path.join(new, "%d.2.pelko-test" % int(time.time()))
    with open(path, "wb") as f:
        f.write(b"From: someone@example.org\r\nSubject: " + subject.encode() + b"\r\n\r\nText.\r\n")
    st = os.stat(new)
    os.chown(path, st.st_uid, st.st_gid)


def dovecot_log(d):
    with open(os.path.join(d.demo_dir, "dovecot.log"), errors="replace") as f:
        return f.read()


def scenario_sleep_during_stalled_check(d):
    """The machine sleeps while a server keeps the first check waiting: Pelko
    closes the connection and lets the machine sleep well before the lock's
    bound, with no box and no error; after waking it takes the lock again and
    connects again at once."""
    atspi = d.start_accessibility()
    logind = Logind(d)
    silent = SilentServer()
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
        f.write(b"\r\n[Account1]\r\nacc_name = Silent\r\nhost_name = 127.0.0.1:%d\r\nuser_name = joe\r\n"
                b"password = %s\r\ninactive = 0\r\n" % (silent.port, scrambled("pw")))
    d.write_settings(icon_tray=0, autoconnect=1, autocheck=1, minutes=30)
    d.start_pelko()
    wait_for("the lock and the stalled login",
             lambda: silent.accepted == 1 and logind.log() == ["inhibit sleep Pelko delay"], timeout=15)
    before = set(d.client_windows())
    logind.sleep(True)
    started = time.monotonic()
    wait_for("the lock to go", lambda: logind.log()[-1:] == ["released"], timeout=5)
    if time.monotonic() - started > 3:
        raise Failure("the lock went only with its bound: the connections were not reported closed")
    held = silent.held[0]
    held.settimeout(2)
    if held.recv(1) != b"":
        raise Failure("the stalled connection is still open after the lock went")
    status = status_text(d, atspi) or ""
    if any(t in status for t in FAILURE_TEXTS[:3]):
        raise Failure("the status line tells of a failure the sleep caused: %r" % status)
    logind.sleep(False)
    # (The server closes every later connection: what the new check finds
    # is the server's doing, not the sleep's.)
    wait_for("the lock again and a new connection",
             lambda: logind.log()[-1:] == ["inhibit sleep Pelko delay"] and silent.accepted == 2, timeout=5)
    if d.new_windows(before):
        raise Failure("a box came up around the sleep")


def scenario_network_off_and_on(d):
    """Offline: no error, the status line says so; back online: a check at
    once (long before the timer's turn) finds what arrived meanwhile."""
    atspi = d.start_accessibility()
    nm = NetworkManager(d)
    d.write_settings(icon_tray=0, autoconnect=1, autocheck=1, minutes=30)
    d.start_demo(keep="Subject: Welcome to Pelko")
    main = d.start_pelko()
    wait_status(d, atspi, "Demo-1 message")
    before = set(d.client_windows())
    nm.set(20)
    wait_status(d, atspi, "Demo-OFFLINE", timeout=10)
    d.screenshot("offline")
    deliver(d, "While offline")
    d.click(main, *CHECK)  # offline, a click tries nothing and shows no error
    nm.set(70)
    wait_status(d, atspi, "Demo-2 messages", timeout=10)
    if d.new_windows(before):
        raise Failure("a box came up while the network was away")


def scenario_sleep_and_wake_with_push(d):
    """An IMAP account watched in IDLE across a sleep: the watch's connection
    closes and the lock goes before the machine sleeps, what arrived while
    asleep is told once soon after waking, and the watch is open again (the
    next message comes at once, not with the timer's turn half an hour on)."""
    with push.ImapAccount(d, minutes=30) as imap:
        if not imap.ok:
            return SKIP
        logind = Logind(d)
        d.start_pelko()

        def idle_closed():
            # dovecot names what a connection was doing when it went.
            with open(os.path.join(imap.folder, "dovecot.log"), errors="replace") as f:
                return f.read().count("Disconnected: Connection closed (IDLE running")

        wait_for("the lock and the record of the ids seen",
                 lambda: logind.log() == ["inhibit sleep Pelko delay"] and imap.seen_recorded(), timeout=15)
        imap.deliver(1, "Before sleep")
        imap.wait_told("Before sleep", "the watch to tell a message")
        closed = idle_closed()
        logind.sleep(True)
        wait_for("the lock to go", lambda: logind.log()[-1:] == ["released"], timeout=5)
        wait_for("the watch's connection to close", lambda: idle_closed() > closed, timeout=5)
        imap.deliver(2, "While asleep")
        logind.sleep(False)
        imap.wait_told("While asleep", "the message that came while asleep, soon after waking", timeout=5)
        imap.deliver(3, "After waking")
        imap.wait_told("After waking", "the message that came after waking", timeout=10)
        notes = imap.told()
        subjects = ("Before sleep", "While asleep", "After waking")
        if len(notes) != 3 or any(subject not in note for subject, note in zip(subjects, notes)):
            raise Failure("each message is told once, as it arrives: %r" % notes)
