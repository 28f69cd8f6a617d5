#!/usr/bin/env python3
"""How soon pushed mail is told: a message is delivered into the bench
dovecot's Maildir (written to tmp/, renamed into new/, as a delivery agent
does) and timed from that rename to

  - raw IDLE: a bare IMAP connection in IDLE reading the server's
    "* N EXISTS" (the least any IDLE client can do), and
  - pelko-check --watch: its JSON line naming the message (MailWatch's
    event, through the watch's own main loop and a pipe),

both connected to the same mailbox at the same time, so each delivery is
timed for both. With an empty mailbox and with BENCH_PUSH_UNSEEN (1000)
unseen messages already there. Then: the resident memory of pelko-check
--watch with one and with ten accounts in IDLE, and the wakeups (context
switches) its threads have while nothing arrives.

    push.py BUILD_DIR DOVECOT_DIR WORK_DIR

Prints a Markdown table. Not a test: nothing here passes or fails."""
import os
import select
import socket
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench import write_accounts, maildir_of, small_message, fill_small, chown_mail  # noqa: E402

ROUNDS = int(os.environ.get("BENCH_PUSH_ROUNDS", "15"))
UNSEEN = int(os.environ.get("BENCH_PUSH_UNSEEN", "1000"))
QUIET_SECONDS = int(os.environ.get("BENCH_PUSH_QUIET", "10"))


def deliver(dovecot_dir, user, n):
    """Delivers message n; returns the moment of the rename into new/."""
    md = maildir_of(dovecot_dir, user)
    data = small_message(100000 + n).replace(b"Subject: Bench", b"Subject: Pushed")
    name = f"{1767000000 + n}.M{n}P4244.pelkopush"
    tmp = os.path.join(md, "tmp", name)
    with open(tmp, "wb") as f:
        f.write(data)
    os.chown(tmp, 65534, 65534)
    moment = time.perf_counter()
    os.rename(tmp, os.path.join(md, "new", name))
    return moment


class RawIdle:
    """A bare IMAP client: LOGIN, EXAMINE INBOX, IDLE; reports when an EXISTS line arrives."""

    def __init__(self, port, user, password):
        self.s = socket.create_connection(("127.0.0.1", port))
        self.buf = b""
        self.line()
        self.cmd(f"a1 LOGIN {user} {password}", b"a1 ")
        self.cmd("a2 EXAMINE INBOX", b"a2 ")
        self.s.sendall(b"a3 IDLE\r\n")
        while not self.line().startswith(b"+"):
            pass

    def line(self, timeout=30):
        while b"\r\n" not in self.buf:
            r, _, _ = select.select([self.s], [], [], timeout)
            if not r:
                return b""
            chunk = self.s.recv(65536)
            if not chunk:
                raise RuntimeError("raw IDLE: connection closed")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\r\n", 1)
        return line

    def cmd(self, text, tag):
        self.s.sendall(text.encode() + b"\r\n")
        while not self.line().startswith(tag):
            pass

    def wait_exists(self):
        while True:
            line = self.line()
            if not line:
                raise RuntimeError("raw IDLE: no EXISTS within 30 s")
            if line.endswith(b" EXISTS"):
                return time.perf_counter()


class Watch:
    """pelko-check --watch in the background; reports when a line names new mail."""

    def __init__(self, exe, conf_dir, accounts=None):
        args = [exe, "--watch", "--dir", conf_dir, "--no-state"]
        if accounts:
            args += ["--account", accounts]
        self.p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.buf = b""

    def line(self, timeout=30):
        while b"\n" not in self.buf:
            r, _, _ = select.select([self.p.stdout], [], [], timeout)
            if not r:
                return b""
            chunk = os.read(self.p.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError("pelko-check --watch ended")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line

    def wait_new(self):
        while True:
            line = self.line()
            if not line:
                raise RuntimeError("pelko-check --watch told nothing within 30 s")
            if b'"new":' in line:
                return time.perf_counter()

    def wait_count(self, times=1):
        for _ in range(times):
            if not self.line():
                raise RuntimeError("pelko-check --watch: no first count")

    def stop(self):
        self.p.terminate()
        self.p.wait(timeout=10)


def proc_status(pid, key):
    """A field of /proc/PID/status summed over its threads (kB or count)."""
    total = 0
    tasks = os.path.join("/proc", str(pid), "task")
    for tid in os.listdir(tasks) if key.endswith("switches") else ["."]:
        path = os.path.join(tasks, tid, "status") if key.endswith("switches") else f"/proc/{pid}/status"
        with open(path) as f:
            for line in f:
                if line.startswith(key + ":"):
                    total += int(line.split()[1])
    return total


def delays(exe, dovecot_dir, port, conf, user, first_n):
    raw = RawIdle(port, user, "pass" + user[4:])
    watch = Watch(exe, conf)
    watch.wait_count()
    raw_ms, pelko_ms = [], []
    for k in range(ROUNDS):
        time.sleep(0.3)  # between deliveries, so each is a change of its own
        t0 = deliver(dovecot_dir, user, first_n + k)
        raw_ms.append((raw.wait_exists() - t0) * 1000)
        pelko_ms.append((watch.wait_new() - t0) * 1000)
    watch.stop()
    return statistics.median(raw_ms), statistics.median(pelko_ms)


def main():
    build, dovecot_dir, work = sys.argv[1:4]
    exe = os.path.join(build, "bin", "pelko-check")
    with open(os.path.join(dovecot_dir, "port_imap")) as f:
        port = int(f.read())
    rows = []
    for user, unseen in (("user20", 0), ("user21", UNSEEN)):
        if unseen:
            fill_small(dovecot_dir, user, unseen)
            # fill_small writes them read (":2,S"): make them unseen.
            cur = os.path.join(maildir_of(dovecot_dir, user), "cur")
            for name in os.listdir(cur):
                os.rename(os.path.join(cur, name), os.path.join(cur, name[:-1]))
            chown_mail(dovecot_dir)
        conf = os.path.join(work, f"push-{user}")
        os.makedirs(conf, exist_ok=True)
        write_accounts(os.path.join(conf, "Accounts.ini"),
                       [("push", f"imap://127.0.0.1:{port}", user, "pass" + user[4:])])
        raw, pelko = delays(exe, dovecot_dir, port, conf, user, 1000 * (1 + len(rows)))
        rows.append((unseen, raw, pelko))

    # Ten accounts against one: memory and wakeups while nothing arrives.
    conf10 = os.path.join(work, "push-ten")
    os.makedirs(conf10, exist_ok=True)
    write_accounts(os.path.join(conf10, "Accounts.ini"),
                   [(f"a{k}", f"imap://127.0.0.1:{port}", f"user{30 + k}", f"pass{30 + k}") for k in range(10)])
    quiet = {}
    for label, only in (("1 account", "a0"), ("10 accounts", None)):
        w = Watch(exe, conf10, only)
        w.wait_count(1 if only else 10)
        time.sleep(1)
        before = proc_status(w.p.pid, "voluntary_ctxt_switches") + proc_status(w.p.pid, "nonvoluntary_ctxt_switches")
        time.sleep(QUIET_SECONDS)
        after = proc_status(w.p.pid, "voluntary_ctxt_switches") + proc_status(w.p.pid, "nonvoluntary_ctxt_switches")
        quiet[label] = (proc_status(w.p.pid, "VmRSS"), (after - before) / QUIET_SECONDS)
        w.stop()

    out = ["### Push: delivery into the Maildir -> told", "",
           "| unseen already there | raw IDLE (`* N EXISTS`) | pelko-check --watch (JSON line) | difference |",
           "|---:|---:|---:|---:|"]
    for unseen, raw, pelko in rows:
        out.append(f"| {unseen} | {raw:.1f} ms | {pelko:.1f} ms | {pelko - raw:+.1f} ms |")
    out += ["", f"Median of {ROUNDS} deliveries each, both clients connected at once. "
            "Target (Pelko within 20 ms of the raw time in both): "
            + ("**met**" if all(p - r <= 20 for _, r, p in rows) else "**not met**") + ".", "",
            "| pelko-check --watch | resident memory | wakeups per second while nothing arrives |",
            "|---|---:|---:|"]
    for label, (rss, wakeups) in quiet.items():
        out.append(f"| {label} in IDLE | {rss / 1024:.1f} MiB | {wakeups:.0f} |")
    grow = (quiet["10 accounts"][0] - quiet["1 account"][0]) / 1024
    out += ["", f"Ten accounts take {grow:.2f} MiB more than one. Target (within 1 MiB): "
            + ("**met**" if grow <= 1 else "**not met**") + "."]
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
