"""Waits that must not freeze the window: a keyring that never answers and a
token command that keeps printing. While the login waits for them the menu
opens, and Exit ends Pelko at once."""
import os
import socket
import subprocess

from desktop import BACKGROUND, SKIP, Failure


def scrambled(text):
    """Accounts.ini's password scrambling (start key 9975)."""
    key, out = 9975, bytearray()
    for ch in text.encode():
        out.append(ch ^ (key >> 8))
        key = ((key + out[-1]) * 9759 + 25286) & 0xFFFF
    return bytes(out)


def write_account(d, field):
    """One account "Waits" on a loopback port nobody listens on, signing in
    with the password line field (";" filler added until the scrambled line
    reads back as written)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    marker, rest = field.split("}", 1)
    source, _, mechanism = marker[len("{pelko:"):].partition(":")
    while True:
        value = scrambled("{pelko:" + source + (":" + mechanism if mechanism else "") + "}" + rest)
        if not (set(value) & {13, 26}) and not value.startswith(b" "):
            break
        source += ";"
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
        f.write(b"\r\n[Account1]\r\nacc_name = Waits\r\nhost_name = 127.0.0.1:%d\r\nuser_name = joe\r\n"
                b"password = %s\r\ninactive = 0\r\n" % (port, value))


def menu_opens_and_exit_ends(d, main):
    """The menu opens while the login waits; Exit ends Pelko promptly."""
    d.popup(main, *BACKGROUND)
    d.screenshot("menu-while-waiting")
    d.keys("Up", "Return")  # Exit, the last entry
    try:
        code = d.pelko.wait(5)
    except subprocess.TimeoutExpired:
        raise Failure("Pelko did not end within 5 s of Exit")
    if code != 0:
        raise Failure("Pelko ended with status %d after Exit" % code)


def start_silent_keyring(d):
    """A Secret Service that takes every call and answers none, on a private
    session bus; False when python3-dbus or python3-gi is missing."""
    try:
        import dbus  # noqa: F401  python3-dbus
        from gi.repository import GLib  # noqa: F401  python3-gi
    except ImportError:
        return False
    address = d.start_session_bus()
    fake = os.path.join(d.source, "tests", "support", "fake-secret-service.py")
    service = subprocess.Popen(["/usr/bin/python3", fake, address, "silent"], env=d.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE)
    d.procs.append(service)
    if service.stdout.readline().strip() != b"ready":
        raise Failure("the Secret Service of the test did not start")
    return True


def scenario_keyring_silent(d):
    """A Secret Service that takes every call and answers none."""
    if not start_silent_keyring(d):
        return SKIP
    d.write_settings(icon_tray=0, autoconnect=1, autocheck=0)
    write_account(d, "{pelko:keyring}")
    main = d.start_pelko()
    menu_opens_and_exit_ends(d, main)


def scenario_token_printing(d):
    """A token command that prints without end, and one that never ends its
    first line: the window answers all the while."""
    for command in ("yes tok", "cat /dev/zero"):
        d.write_settings(icon_tray=0, autoconnect=1, autocheck=0)
        write_account(d, "{pelko:command:xoauth2}" + command)
        main = d.start_pelko()
        menu_opens_and_exit_ends(d, main)


def scenario_keyring_silent_dialog(d):
    """A password saved to a keyring that never answers: the dialog shows a
    note with Cancel above it, owned by it; Cancel ends the wait at once, the
    dialog stays and Accounts.ini is as it was."""
    from scenarios_dialog import PASSWD_FIELD, SAVE_BUTTON, open_first_account, type_into
    from desktop import wait_for
    if not start_silent_keyring(d):
        return SKIP
    d.write_settings(icon_tray=0, autoconnect=0, autocheck=0, posX=20, posY=20)
    write_account(d, "{pelko:keyring}")
    path = os.path.join(d.pelko_dir, "Accounts.ini")
    with open(path, "rb") as f:
        kept = f.read()
    main = d.start_pelko()
    dialog, before = open_first_account(d, main)
    type_into(d, dialog, PASSWD_FIELD, "n3w-secret")
    with_dialog = set(d.client_windows())
    d.click(dialog, *SAVE_BUTTON)
    note = wait_for("the keyring's note", lambda: d.new_windows(with_dialog), timeout=10)[0]
    d.screenshot("keyring-note")
    d.check_above(note, dialog, "the keyring's note")
    d.keys("Escape")  # the note's Cancel
    wait_for("the note to go", lambda: note not in d.new_windows(with_dialog), timeout=3)
    d.check_alive()
    if dialog not in d.new_windows(before):
        raise Failure("the dialog closed with the note")
    with open(path, "rb") as f:
        if f.read() != kept:
            raise Failure("Accounts.ini changed after the keyring's wait was cancelled")
