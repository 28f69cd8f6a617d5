#!/usr/bin/python3
"""Pelko on a real desktop: the built program on a private Xvfb with openbox,
driven with xdotool and inspected through the window manager's X properties.

    desktop.py SCENARIO BUILD_DIR SOURCE_DIR

Each scenario starts its own X server, window manager and, where it needs
mail, a demo mailbox; it waits for windows (with a deadline) instead of
sleeping. Exit status 0: passed, 1: failed, 77: a tool is missing.
PELKO_DESKTOP_SHOTS=DIR keeps screenshots of the moments checked.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TOOLS = ["Xvfb", "openbox", "xdotool", "xprop", "xwininfo"]


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=30.0, step=0.05):
    """Polls probe() until it gives something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


def settings_text(skin, **values):
    """Pelko.ini in Pelko's own layout (CR LF lines)."""
    lines = [("current_skin", " " + skin), ("autocheck", "1"), ("autoconnect", "1"), ("header_only", "0"),
             ("ontop", "0"), ("minutes", " 1"), ("posX", " 40"), ("posY", " 40"), ("playsnd", "0"),
             ("wavsnd", " "), ("icon_tray", "1"), ("run_my_client", "0"), ("my_mail_client", " "),
             ("notify", "0")]
    out = []
    for key, value in lines:
        if key in values:
            value = str(values[key])
            value = value if key in ("autocheck", "autoconnect", "header_only", "ontop", "playsnd", "icon_tray",
                                     "run_my_client", "notify") else " " + value
        out.append("%s =%s\r\n" % (key, value))
    return "".join(out)


class Desktop:
    def __init__(self, build_dir, source_dir):
        self.exe = os.path.join(build_dir, "bin", "Pelko")
        self.source = source_dir
        self.demo_script = os.path.join(source_dir, "tools", "demo", "demo-mailbox.sh")
        self.work = tempfile.mkdtemp(prefix="pelko-desktop-")
        # The demo server reads its mail as another user when run as root.
        os.chmod(self.work, 0o755)
        self.home = os.path.join(self.work, "home")
        self.pelko_dir = os.path.join(self.work, "pelko")
        run = os.path.join(self.work, "run")
        for d in (self.home, self.pelko_dir, run):
            os.makedirs(d)
        os.chmod(run, 0o700)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS_", "XDG_", "QT_", "WAYLAND"))}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_DATA_HOME=os.path.join(self.home, ".local", "share"), XDG_RUNTIME_DIR=run,
                        PELKO_DIR=self.pelko_dir, QT_QPA_PLATFORM="xcb")
        self.procs = []
        self.pelko = None
        self.demo_dir = None
        self.shots = os.environ.get("PELKO_DESKTOP_SHOTS")

    # ---- processes ----

    def spawn(self, args, log, **kw):
        with open(os.path.join(self.work, log), "ab") as out:
            p = subprocess.Popen(args, env=kw.pop("env", self.env), stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.STDOUT, **kw)
        self.procs.append(p)
        return p

    def run(self, *args, check=True):
        r = subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True, timeout=30)
        if check and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if self.demo_dir:
            subprocess.run([self.demo_script, "stop", self.demo_dir], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        if os.environ.get("PELKO_DESKTOP_KEEP"):
            print("work folder kept:", self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    def start_desktop(self):
        r, w = os.pipe()
        xvfb = self.spawn(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
                          "xvfb.log", pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as f:
            display = f.readline().strip()
        if not display:
            raise Failure("Xvfb gave no display (exit %s)" % xvfb.poll())
        self.env["DISPLAY"] = ":" + display
        self.spawn(["openbox", "--sm-disable"], "openbox.log")
        wait_for("openbox", lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                            check=False))

    def start_demo(self, keep=None, add=None):
        """Starts the demo mailbox; keep: a word that the messages kept must
        contain (the others are taken out); add: a message of the test's own."""
        self.demo_dir = os.path.join(self.work, "demo")
        port = self.run(self.demo_script, "start", self.demo_dir).strip()
        new = os.path.join(self.demo_dir, "mail", "demo", "Maildir", "new")
        for name in os.listdir(new):
            with open(os.path.join(new, name), "rb") as f:
                text = f.read()
            if add is not None or (keep is not None and keep.encode() not in text):
                os.remove(os.path.join(new, name))
        if add is not None:
            path = os.path.join(new, "%d.1.pelko-test" % int(time.time()))
            with open(path, "wb") as f:
                f.write(add.replace("\n", "\r\n").encode())
            st = os.stat(new)
            os.chown(path, st.st_uid, st.st_gid)
        with open(os.path.join(self.pelko_dir, "Accounts.ini"), "wb") as f:
            subprocess.run([self.demo_script, "accounts", port], stdout=f, check=True)

    def start_session_bus(self):
        """A private session bus for Pelko; its address goes into the environment."""
        r, w = os.pipe()
        self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=%d" % w], "dbus.log",
                   pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as f:
            self.env["DBUS_SESSION_BUS_ADDRESS"] = f.readline().strip()
        return self.env["DBUS_SESSION_BUS_ADDRESS"]

    def start_notification_server(self, script):
        """Runs script (python3-dbus: argv[1] the bus, argv[2] a file) as the
        notification service on a private session bus; returns that file."""
        self.start_session_bus()
        got = os.path.join(self.work, "notification.txt")
        server = os.path.join(self.work, "notify-server.py")
        with open(server, "w") as f:
            f.write(script)
        self.spawn(["/usr/bin/python3", server, self.env["DBUS_SESSION_BUS_ADDRESS"], got], "notify.log")
        wait_for("the notification service",
                 lambda: "org.freedesktop.Notifications" in self.run(
                     "dbus-send", "--bus=" + self.env["DBUS_SESSION_BUS_ADDRESS"], "--print-reply",
                     "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames",
                     check=False))
        return got

    def start_accessibility(self):
        """A session bus with the accessibility bus of at-spi2-core on it, as a
        screen reader finds it; gives an AtSpi client of that bus."""
        import dbus  # python3-dbus
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.path.exists(launcher):
            raise Failure("at-spi2-core is not installed")
        self.start_session_bus()
        self.spawn([launcher, "--launch-immediately"], "at-spi.log")
        session = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])

        def address():
            try:
                return str(session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
                    dbus_interface="org.a11y.Bus"))
            except dbus.DBusException:
                return None

        a11y = wait_for("the accessibility bus", address)
        # What a screen reader says when it starts.
        session.get_object("org.a11y.Bus", "/org/a11y/bus").Set(
            "org.a11y.Status", "ScreenReaderEnabled", True, dbus_interface="org.freedesktop.DBus.Properties")
        return AtSpi(a11y)

    def write_settings(self, **values):
        skin = os.path.join(self.source, "skins", "default") + "/"
        with open(os.path.join(self.pelko_dir, "Pelko.ini"), "w", newline="") as f:
            f.write(settings_text(skin, **values))

    def write_accounts(self, name, port):
        """The demo's account file with another name, pointing at port."""
        text = subprocess.run([self.demo_script, "accounts", str(port)], stdout=subprocess.PIPE, check=True).stdout
        with open(os.path.join(self.pelko_dir, "Accounts.ini"), "wb") as f:
            f.write(text.replace(b"acc_name = Demo", b"acc_name = " + name.encode()))

    def start_pelko(self):
        self.pelko = self.spawn([self.exe], "pelko.log")
        return wait_for("Pelko's main window", lambda: self.new_windows(set()))[0]

    def check_alive(self):
        code = self.pelko.poll() if self.pelko else None
        if code is not None:
            raise Failure("Pelko ended with status %d%s" % (code, " (killed by signal %d)" % -code if code < 0 else ""))

    def pelko_said(self):
        with open(os.path.join(self.work, "pelko.log"), errors="replace") as f:
            return f.read()[-2000:]

    # ---- X properties ----

    def windows(self, prop):
        out = self.run("xprop", "-root", prop, check=False)
        return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out.split("#", 1)[-1])] if "#" in out else []

    def client_windows(self):
        return self.windows("_NET_CLIENT_LIST")

    def stacking(self):
        return self.windows("_NET_CLIENT_LIST_STACKING")

    def prop(self, win, name):
        return self.run("xprop", "-id", str(win), name, check=False)

    def is_pelko(self, win):
        return '"Pelko"' in self.prop(win, "WM_CLASS")

    def viewable(self, win):
        return "IsViewable" in self.run("xwininfo", "-id", str(win), check=False)

    def new_windows(self, before):
        """Pelko's viewable client windows that are not in before."""
        return [w for w in self.client_windows() if w not in before and self.is_pelko(w) and self.viewable(w)]

    def shown(self):
        """Every viewable window of Pelko's, menus (not managed) included."""
        out = self.run("xdotool", "search", "--onlyvisible", "--class", "Pelko", check=False)
        return {int(w) for w in out.split()}

    def popup(self, win, x, y):
        """Right click at x, y of win; waits for the menu to show."""
        before = self.shown()
        self.click(win, x, y, button=3)
        wait_for("the menu", lambda: self.shown() - before)

    def transient_for(self, win):
        m = re.search(r"window id # (0x[0-9a-f]+)", self.prop(win, "WM_TRANSIENT_FOR"))
        return int(m.group(1), 16) if m else None

    def geometry(self, win):
        """(x, y, width, height): the client area in root coordinates."""
        out = self.run("xwininfo", "-id", str(win))

        def field(label):
            return int(re.search(label + r":\s+(-?\d+)", out).group(1))

        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"))

    def window_text(self, win):
        return self.prop(win, "WM_NAME") + self.prop(win, "_NET_WM_NAME")

    # ---- input ----

    def click(self, win, x, y, button=1, repeat=1):
        self.run("xdotool", "mousemove", "--window", str(win), str(x), str(y), "click", "--repeat", str(repeat),
                 "--delay", "80", str(button))

    def keys(self, *keys):
        self.run("xdotool", "key", "--delay", "60", *keys)

    def screenshot(self, name):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            self.run("import", "-window", "root", os.path.join(self.shots, name + ".png"))

    # ---- checks ----

    def check_above(self, box, owner, what):
        owner_transient = self.transient_for(box)
        if owner_transient != owner:
            raise Failure("%s is transient for %s, not for its owner 0x%x" %
                          (what, hex(owner_transient) if owner_transient else "nothing", owner))
        order = self.stacking()
        if box not in order or owner not in order or order.index(box) < order.index(owner):
            raise Failure("%s is stacked below its owner (stacking, bottom first: %s)" %
                          (what, " ".join(hex(w) for w in order)))


class AtSpi:
    """A client of the accessibility bus: what a screen reader asks."""

    ACCESSIBLE = "org.a11y.atspi.Accessible"

    def __init__(self, address):
        import dbus
        self.dbus = dbus
        self.bus = dbus.bus.BusConnection(address)

    def obj(self, ref):
        return self.bus.get_object(ref[0], ref[1], introspect=False)

    def apps(self):
        root = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
        return [(str(n), str(p)) for n, p in self.obj(root).GetChildren(dbus_interface=self.ACCESSIBLE)]

    def node(self, ref):
        """Role, all properties of org.a11y.atspi.Accessible (one GetAll, as
        screen readers ask) and the interfaces of one object."""
        o = self.obj(ref)
        props = o.GetAll(self.ACCESSIBLE, dbus_interface="org.freedesktop.DBus.Properties")
        return {"ref": ref, "role": str(o.GetRoleName(dbus_interface=self.ACCESSIBLE)),
                "name": str(props["Name"]), "description": str(props["Description"]),
                "interfaces": [str(i) for i in o.GetInterfaces(dbus_interface=self.ACCESSIBLE)]}

    def tree(self, ref):
        """Every object below ref (ref included), depth first."""
        out = [self.node(ref)]
        for n, p in self.obj(ref).GetChildren(dbus_interface=self.ACCESSIBLE):
            out += self.tree((str(n), str(p)))
        return out

    def text(self, ref):
        return str(self.obj(ref).GetText(0, -1, dbus_interface="org.a11y.atspi.Text"))

    def pelko(self):
        """The tree of Pelko's application (None while it is not there)."""
        try:
            for ref in self.apps():
                if self.node(ref)["name"] == "Pelko":
                    return self.tree(ref)
        except self.dbus.DBusException:
            return None
        return None


# The main window's controls (default skin), in client coordinates.
CONNECT = (14 + 13, 26 + 13)
STATUS = (15 + 6, 66 + 5)
BACKGROUND = (150, 45)
# The message window's buttons.
PREV_BUTTON = (22 + 14, 298 + 14)
REPLY_BUTTON = (110 + 14, 298 + 14)


def open_message_window(d, main):
    """Double clicks the status line until the message window shows (the
    first check has to be done first)."""
    before = set(d.client_windows())

    def attempt():
        d.click(main, *STATUS, repeat=2)
        try:
            return wait_for("the message window", lambda: d.new_windows(before), timeout=1.5)[0]
        except Failure:
            return None

    return wait_for("the message window to open on a double click", attempt, timeout=40, step=0)


def scenario_error_box(d):
    """A box from the on-top main window belongs to it and stands above it."""
    d.write_settings(ontop=1, autoconnect=0, autocheck=0, icon_tray=0, posX=200, posY=150)
    # A loopback port nobody listens on: the connect is refused at once.
    import socket
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    d.write_accounts("Closed", port)
    atspi = d.start_accessibility()
    main = d.start_pelko()
    if "_NET_WM_STATE_ABOVE" not in d.prop(main, "_NET_WM_STATE"):
        raise Failure("the main window is not on top with ontop =1")
    before = set(d.client_windows())
    d.click(main, *CONNECT)
    box = wait_for("the error box", lambda: d.new_windows(before))[0]
    d.screenshot("error-box")
    d.check_above(box, main, "the error box")
    # X does not carry the box's text; the accessibility bus does.
    want = "Account: Closed (127.0.0.1:%d)" % port
    seen = []

    def box_text():
        d.check_alive()
        seen[:] = [n["name"] for n in (atspi.pelko() or []) if n["role"] == "label"]
        return any(want in t for t in seen)

    try:
        wait_for("the box's text", box_text, timeout=10)
    except Failure:
        d.check_alive()
        raise Failure("no text of Pelko's holds %r; its texts: %r" % (want, seen))


def scenario_save_as(d):
    """The Save As dialog of the message window belongs to it and stands above."""
    d.write_settings(icon_tray=0)
    d.start_demo(keep="attachment; filename=")
    main = d.start_pelko()
    msg = open_message_window(d, main)
    before = set(d.client_windows())
    d.popup(msg, 300, 150)
    d.keys("Down", "Return")  # "Save attachment", the first entry
    dialog = wait_for("the Save As dialog", lambda: d.new_windows(before))[0]
    d.screenshot("save-as")
    d.check_above(dialog, msg, "the Save As dialog")


def scenario_position_exit(d):
    """Exit keeps the position the on-top window was placed at."""
    d.write_settings(ontop=1, posX=300, posY=200)
    d.start_demo()
    main = d.start_pelko()
    x, y, _, _ = wait_for("the main window at its place", lambda: d.geometry(main))
    if (x, y) != (300, 200):
        raise Failure("the main window was mapped at %d,%d, not at 300,200" % (x, y))
    d.popup(main, *BACKGROUND)
    d.keys("Up", "Return")  # Exit, the last entry
    try:
        d.pelko.wait(30)
    except subprocess.TimeoutExpired:
        raise Failure("Pelko did not exit after Exit")
    with open(os.path.join(d.pelko_dir, "Pelko.ini"), newline="") as f:
        ini = f.read()
    got = dict(re.findall(r"^(posX|posY) = (-?\d+)\r$", ini, re.M))
    if got != {"posX": "300", "posY": "200"}:
        raise Failure("Pelko.ini holds %s after Exit, not posX = 300, posY = 200" % got)


def scenario_button_drag(d):
    """A press on a message-window button that moves a little drags nothing."""
    d.write_settings(icon_tray=0)
    d.start_demo()
    main = d.start_pelko()
    msg = open_message_window(d, main)
    where = wait_for("the message window's place", lambda: d.geometry(msg))
    d.run("xdotool", "mousemove", "--window", str(msg), str(PREV_BUTTON[0]), str(PREV_BUTTON[1]), "mousedown", "1",
          "mousemove_relative", "--", "1", "1", "mousemove_relative", "--", "1", "1", "mousemove_relative", "--",
          "1", "0", "mouseup", "1")
    # A move would follow the motion at once; watch the window for a while.
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        now = d.geometry(msg)
        if now[:2] != where[:2]:
            raise Failure("the message window moved from %d,%d to %d,%d" % (where[0], where[1], now[0], now[1]))
        time.sleep(0.05)


REPLY_MESSAGE = """From: "Doe, Jane" <jane@example.org>
To: demo@pelko.example.org
Subject: Hi there
Date: Mon, 7 Dec 2026 10:00:00 +0000
Message-ID: <reply-test@pelko.example.org>

Shall we meet?
"""


def scenario_reply(d):
    """Reply hands the mail program an RFC 6068 mailto: URL."""
    if not shutil.which("xdg-open"):
        return SKIP
    got = os.path.join(d.work, "mailto.txt")
    handler = os.path.join(d.work, "record-mailto.sh")
    with open(handler, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s" "$1" > "%s.new" && mv "%s.new" "%s"\n' % (got, got, got))
    os.chmod(handler, 0o755)
    apps = os.path.join(d.env["XDG_DATA_HOME"], "applications")
    os.makedirs(apps)
    with open(os.path.join(apps, "record-mailto.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Record mailto\nExec=%s %%u\n"
                "MimeType=x-scheme-handler/mailto;\nNoDisplay=true\n" % handler)
    os.makedirs(d.env["XDG_CONFIG_HOME"], exist_ok=True)
    with open(os.path.join(d.env["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nx-scheme-handler/mailto=record-mailto.desktop\n")
    d.write_settings(icon_tray=0)
    d.start_demo(add=REPLY_MESSAGE)
    main = d.start_pelko()
    msg = open_message_window(d, main)
    d.click(msg, *REPLY_BUTTON)
    wait_for("the mailto handler to be run", lambda: os.path.exists(got))
    with open(got) as f:
        url = f.read()
    want = "mailto:jane@example.org?subject=Re%3A%20Hi%20there"
    if url != want:
        raise Failure("the mailto handler got %r, not %r" % (url, want))


NOTIFY_SERVER = r"""
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
name = dbus.service.BusName("org.freedesktop.Notifications", bus)

class Server(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(sys.argv[2] + ".new", "w") as f:
            f.write(summary + "\n" + body)
        import os
        os.replace(sys.argv[2] + ".new", sys.argv[2])
        return 1

    @dbus.service.method("org.freedesktop.Notifications", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

Server(bus, "/org/freedesktop/Notifications")
print("ready", flush=True)
GLib.MainLoop().run()
"""


def scenario_notify(d):
    """New mail reaches a real notification service on the session bus,
    naming the account and the senders of the new messages."""
    try:
        import dbus  # noqa: F401  python3-dbus
        from gi.repository import GLib  # noqa: F401  python3-gi
    except ImportError:
        return SKIP
    got = d.start_notification_server(NOTIFY_SERVER)
    d.write_settings(icon_tray=0, notify=1, autoconnect=0)
    d.start_demo(add=REPLY_MESSAGE)
    main = d.start_pelko()
    d.click(main, *CONNECT)  # what waits is news after a Connect click
    wait_for("the notification", lambda: os.path.exists(got))
    with open(got) as f:
        text = f.read()
    want = "Pelko: new mail\nDemo: 1 new message\n&quot;Doe, Jane&quot; &lt;jane@example.org&gt; \u2014 Hi there"
    if text != want and text != want.replace("&quot;", '"'):
        raise Failure("the notification service got %r" % text)


def scenario_accessible(d):
    """What a screen reader finds: every object answers GetAll, the skinned
    controls have names, the message text can be read."""
    atspi = d.start_accessibility()
    d.write_settings(icon_tray=0)
    d.start_demo(keep="Subject: Welcome to Pelko")
    main = d.start_pelko()
    seen = []

    def checked():
        d.check_alive()
        seen[:] = atspi.pelko() or []
        return any(n["role"] == "label" and n["name"] == "Demo-1 message" for n in seen)

    try:
        wait_for("the status line to say the count", checked)
    except Failure:
        d.check_alive()
        raise Failure("no label \"Demo-1 message\"; Pelko's objects: %r" % [(n["role"], n["name"]) for n in seen])
    named = {(n["role"], n["name"]): n for n in seen}
    wanted = [("label", "1"), ("graphic", "Connected"), ("push button", "Connect to POP server"),
              ("push button", "Check for Messages"), ("push button", "Disconnect POP server ONLY !!"),
              ("push button", "Run mail client")]
    missing = [w for w in wanted if w not in named]
    if missing:
        raise Failure("missing %r among %r" % (missing, sorted(named)))
    if named[("label", "1")]["description"] != "Demo : 1":
        raise Failure("the count's description is %r" % named[("label", "1")]["description"])
    # A call with fewer arguments than its method takes is refused, not read
    # past its end.
    button = named[("push button", "Connect to POP server")]["ref"]
    try:
        atspi.obj(button).GetChildAtIndex(dbus_interface=AtSpi.ACCESSIBLE)
        raise Failure("GetChildAtIndex without its argument was answered")
    except atspi.dbus.DBusException as e:
        if e.get_dbus_name() != "org.freedesktop.DBus.Error.InvalidArgs":
            raise Failure("GetChildAtIndex without its argument: %s" % e)

    open_message_window(d, main)

    def message_text():
        d.check_alive()
        texts = [atspi.text(n["ref"]) for n in atspi.pelko() or [] if "org.a11y.atspi.Text" in n["interfaces"]]
        return [t for t in texts if "Welcome to Pelko" in t]

    wait_for("the message text to be readable", message_text)


def scenarios():
    """Every scenario_NAME function of this file and of the topic files
    scenarios_*.py beside it (each of those imports what it needs from here)."""
    import importlib
    found = {n[len("scenario_"):]: f for n, f in globals().items() if n.startswith("scenario_")}
    here = os.path.dirname(os.path.abspath(__file__))
    sys.path.insert(0, here)
    for name in sorted(os.listdir(here)):
        if name.startswith("scenarios_") and name.endswith(".py"):
            module = importlib.import_module(name[:-3])
            found.update({n[len("scenario_"):]: f for n, f in vars(module).items()
                          if n.startswith("scenario_") and callable(f)})
    return found


def main(argv):
    SCENARIOS = scenarios()
    if len(argv) != 4 or argv[1] not in SCENARIOS:
        print(__doc__.strip(), "\nscenarios:", " ".join(SCENARIOS), file=sys.stderr)
        return 2
    missing = [t for t in TOOLS if not shutil.which(t)]
    if missing:
        print("SKIP: not installed:", " ".join(missing), "(./pelko.sh test installs them)")
        return SKIP
    d = Desktop(argv[2], argv[3])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        d.start_desktop()
        result = SCENARIOS[argv[1]](d)
        if result == SKIP:
            return SKIP
        if d.pelko and d.pelko.poll() not in (None, 0):
            raise Failure("Pelko ended with status %s" % d.pelko.returncode)
        print("PASS:", argv[1])
        return 0
    except Failure as e:
        print("FAIL: %s: %s" % (argv[1], e))
        if d.pelko:
            print("Pelko said:\n" + d.pelko_said())
        return 1
    finally:
        d.close()


if __name__ == "__main__":
    # The topic files import this module as "desktop": make it one module.
    sys.modules.setdefault("desktop", sys.modules[__name__])
    sys.exit(main(sys.argv))
