"""Failing accounts on a real desktop, with Pelko's clock running fast
(libfaketime: its clocks, and with them its timers and the times it shows,
run SPEED times as fast as the test's): a refused sign-in is not tried again
by the timer's turns but at once on a click; a server that is down is tried
again after pauses of 1, 2, 4 minutes, and taken up when it is back."""
import glob
import os
import shlex
import socket
import subprocess
import threading
import time

from desktop import SKIP, Failure, wait_for
from scenarios_mainwin import CHECK, box_saying, labels, status_text, wait_status
from scenarios_push import deliver
from scenarios_waits import scrambled

SPEED = 15


class FastClock:
    """Starts Pelko with its clocks running SPEED times as fast; converts the
    test's times into Pelko's."""

    def __init__(self, d):
        self.d = d
        libs = glob.glob("/usr/lib/*/faketime/libfaketimeMT.so.1")
        self.ok = bool(libs)
        if not self.ok:
            print("SKIP: libfaketime is not installed (./pelko.sh test installs it)")
            return
        wrapper = os.path.join(d.work, "pelko-fast")
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\nexport LD_PRELOAD=%s FAKETIME="+0 x%d" NO_FAKE_STAT=1\nexec %s\n' %
                    (shlex.quote(libs[0]), SPEED, shlex.quote(d.exe)))
        os.chmod(wrapper, 0o755)
        d.exe = wrapper

    def start_pelko(self):
        self.start = time.time()
        return self.d.start_pelko()

    def pelko_time(self, t):
        """Pelko's clock at the test's time t. (Its clock starts to run fast
        once it is loaded, a moment after start: it is behind this by SPEED
        times that moment.)"""
        return self.start + (t - self.start) * SPEED


class TestDovecot:
    """The tests' dovecot (no delay after a refused sign-in) in the
    scenario's folder; `with` it. ok is False without it (the scenario skips)."""

    def __init__(self, d):
        self.script = os.path.join(d.source, "tests", "support", "dovecot.sh")
        self.folder = os.path.join(d.work, "dovecot")
        self.ok = False

    def __enter__(self):
        subprocess.run([self.script, "start", self.folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        port_file = os.path.join(self.folder, "port")
        if os.path.exists(port_file):
            with open(port_file) as f:
                self.port = int(f.read())
            self.ok = True
        else:
            print("SKIP: no test dovecot here (it needs root and dovecot)")
        return self

    def __exit__(self, *exc):
        subprocess.run([self.script, "stop", self.folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def log(self):
        with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as f:
            return f.read()


class Gate:
    """A loopback port in front of a server: while down it closes every
    connection it takes at once; once up it passes them on to the server.
    Records when each connection came."""

    def __init__(self, port):
        self.port_behind = port
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.up = False
        self.times = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.times.append(time.time())
            if not self.up:
                conn.close()
                continue
            try:
                server = socket.create_connection(("127.0.0.1", self.port_behind))
            except OSError:
                conn.close()
                continue
            for a, b in ((conn, server), (server, conn)):
                threading.Thread(target=self.pump, args=(a, b), daemon=True).start()

    @staticmethod
    def pump(a, b):
        try:
            while True:
                data = a.recv(65536)
                if not data:
                    break
                b.sendall(data)
        except OSError:
            pass
        for s in (a, b):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def write_accounts(d, *accounts):
    """Accounts.ini with (name, port, user, password) in this order."""
    text = b""
    for i, (name, port, user, password) in enumerate(accounts, 1):
        text += (b"\r\n[Account%d]\r\nacc_name = %s\r\nhost_name = 127.0.0.1:%d\r\nuser_name = %s\r\n"
                 b"password = %s\r\ninactive = 0\r\n" % (i, name.encode(), port, user.encode(), scrambled(password)))
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
        f.write(text)


def count_tooltip(atspi, account):
    """The count's tooltip (the label whose description names the account)."""
    for n in labels(atspi):
        if n["description"].startswith(account + " : ") or ("\n" + account + " : ") in n["description"]:
            return n["name"], n["description"]
    return None, None


def scenario_wrong_password_waits_for_a_click(d):
    """A wrong password on the second of two accounts: the timer's turn tries
    it once, shows the refusal on the status line and in the count's tooltip
    (no box), and passes it by from then on; the check button tries it at
    once, naming the refusal in a box."""
    with TestDovecot(d) as dovecot:
        clock = FastClock(d)
        if not dovecot.ok or not clock.ok:
            return SKIP
        deliver(os.path.join(dovecot.folder, "mail", "user2", "Maildir"), 1, "Hello")
        write_accounts(d, ("Home", dovecot.port, "user2", "pass2"), ("Wrong", dovecot.port, "user1", "nope"))
        d.write_settings(icon_tray=0, autoconnect=1, autocheck=1, minutes=1)
        atspi = d.start_accessibility()
        main = clock.start_pelko()
        before = set(d.client_windows())

        def signins():
            log = dovecot.log()
            return log.count("Login: user=<user2>"), log.count("(auth failed")

        # Connected to Home; the first turn takes Wrong.
        refused = "Wrong--ERR [AUTH] Authentication failed. (sign-in refused)"
        wait_status(d, atspi, refused, timeout=3 * 60 / SPEED + 10)
        home, wrong = signins()
        if (home, wrong) != (1, 1):
            raise Failure("before the refusal shows: %d sign-ins of Home, %d refused ones" % (home, wrong))
        _, tip = count_tooltip(atspi, "Wrong")
        if tip != "Home : 1\nWrong : error: " + refused[len("Wrong-"):]:
            raise Failure("after the refusal the count's tooltip reads %r" % tip)
        # Three more turns: each passes Wrong by and takes Home.
        wait_for("three turns after the refusal", lambda: signins()[0] >= home + 3 or signins()[1] > 1,
                 timeout=4 * 60 / SPEED + 10)
        if signins()[1] != 1:
            raise Failure("the refused account was tried again by the timer: %d sign-ins of Home, %d refused" %
                          signins())
        wait_status(d, atspi, "Home-1 message")
        _, tip = count_tooltip(atspi, "Wrong")
        if tip != "Home : 1\nWrong : error: " + refused[len("Wrong-"):]:
            raise Failure("while Wrong is passed by the count's tooltip reads %r" % tip)
        if d.new_windows(before):
            raise Failure("a box came up for the timer's failure")

        # The check button takes the next account, Wrong, at once. (A click
        # while a turn's check still runs is dropped: click again.)
        def clicked():
            d.click(main, *CHECK)
            try:
                return wait_for("the try of the click", lambda: signins()[1] == 2, timeout=1.5)
            except Failure:
                return False

        wait_for("a click to try Wrong", clicked, timeout=20, step=0)
        box_saying(d, atspi, main, "-ERR [AUTH] Authentication failed.\nAccount: Wrong (127.0.0.1:%d)" %
                   dovecot.port, before)
        if signins()[1] != 2:
            raise Failure("the click tried Wrong %d times" % (signins()[1] - 1))


def scenario_server_down_pauses(d):
    """A server down for three tries: tried at 0, 1, 3 minutes and at no
    turn between, each failure naming the next try on the status line and in
    the count's tooltip; back up, the try at 7 minutes finds the mail."""
    with TestDovecot(d) as dovecot:
        clock = FastClock(d)
        if not dovecot.ok or not clock.ok:
            return SKIP
        deliver(os.path.join(dovecot.folder, "mail", "user1", "Maildir"), 1, "While down")
        gate = Gate(dovecot.port)
        write_accounts(d, ("Gate", gate.port, "user1", "pass1"))
        d.write_settings(icon_tray=0, autoconnect=1, autocheck=1, minutes=1)
        atspi = d.start_accessibility()
        clock.start_pelko()
        before = set(d.client_windows())
        tries = (0, 1, 3, 7)  # Pelko's minutes after the first
        shown = None
        for k, minute in enumerate(tries):
            if k == 3:
                gate.up = True
            wait_for("try %d" % (k + 1), lambda: len(gate.times) > k,
                     timeout=(minute - tries[k - 1] if k else 1) * 60 / SPEED + 10)
            at = clock.pelko_time(gate.times[k])
            took = (at - clock.pelko_time(gate.times[0])) / 60
            if abs(took - minute) > 0.4:  # a try at another turn is a minute off
                raise Failure("try %d came %.2f minutes after the first, not %d (tries at %s)" %
                              (k + 1, took, minute, ["%.2f" % ((clock.pelko_time(t) - clock.pelko_time(
                                  gate.times[0])) / 60) for t in gate.times]))
            if k == 3:
                break
            status = []

            def failure_shown():
                status[:] = [status_text(d, atspi) or ""]
                return status[0] != shown and status[0].endswith(")") and "(next try at " in status[0]

            wait_for("the failure of try %d" % (k + 1), failure_shown, timeout=10)
            shown = status[0]
            # The next try: the pause (1, 2, 4 minutes) from this try's start.
            due = at + (tries[k + 1] - minute) * 60
            near = {time.strftime("%H:%M", time.localtime(t)) for t in (due - SPEED, due + 0.2 * SPEED)}
            if not any(shown.endswith("(next try at %s)" % hhmm) for hhmm in near):
                raise Failure("after try %d the status line reads %r, the next try being due at %s" %
                              (k + 1, shown, time.strftime("%H:%M:%S", time.localtime(due))))
            _, tip = count_tooltip(atspi, "Gate")
            if tip != "Gate : error: " + shown[len("Gate-"):]:
                raise Failure("the count's tooltip reads %r" % tip)
        wait_status(d, atspi, "Gate-1 message")
        count, tip = count_tooltip(atspi, "Gate")
        if (count, tip, len(gate.times)) != ("1", "Gate : 1", 4):
            raise Failure("after the server came back: count %r, tooltip %r, %d tries" % (count, tip, len(gate.times)))
        if d.new_windows(before):
            raise Failure("a box came up for the timer's failures")
