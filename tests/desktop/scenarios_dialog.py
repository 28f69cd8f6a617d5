"""The configuration dialog on a real desktop."""
import os

from desktop import BACKGROUND, Failure, wait_for

# The configuration dialog's controls, in client coordinates.
ACCOUNTS_BUTTON = (42, 88)
FIRST_ACCOUNT = (318, 16)
HOST_FIELD = (228, 70)
PASSWD_FIELD = (228, 122)
SAVE_BUTTON = (356, 216)


def unscramble(data, key=9975):
    """A password line's value as Accounts.ini keeps it, read back."""
    out = bytearray()
    for b in data:
        out.append(b ^ (key >> 8))
        key = ((key + b) * 9759 + 25286) & 0xFFFF
    return bytes(out)


def accounts(d):
    """The [AccountN] sections of Accounts.ini: name -> {key: bytes}."""
    with open(os.path.join(d.pelko_dir, "Accounts.ini"), "rb") as f:
        lines = f.read().split(b"\r\n")
    found, current = {}, None
    for line in lines:
        if line.startswith(b"[Account"):
            current = {}
        elif current is not None and b" = " in line:
            key, value = line.split(b" = ", 1)
            current[key.decode()] = value
            if key == b"acc_name":
                found[value.decode()] = current
    return found


def type_into(d, win, field, text):
    """Clicks a field, selects what it holds and types text over it."""
    d.click(win, *field)
    d.keys("ctrl+a")
    d.run("xdotool", "type", "--delay", "40", text)


def open_first_account(d, main):
    """Opens the configuration dialog from the menu, on the Accounts page with
    the first account selected; gives the dialog and the windows before it."""
    before = set(d.client_windows())
    d.popup(main, *BACKGROUND)
    d.keys("Down", "Return")  # Configure, the first entry
    dialog = wait_for("the configuration dialog", lambda: d.new_windows(before))[0]
    if "Pelko Configuration" not in d.window_text(dialog):
        raise Failure("the new window is %r" % d.window_text(dialog))
    d.click(dialog, *ACCOUNTS_BUTTON)
    d.click(dialog, *FIRST_ACCOUNT)
    return dialog, before


def scenario_accounts_edit(d):
    """An account is edited on the Accounts page as a user does it: select it
    in the list, change its host and password, Save; Accounts.ini holds the
    change at once and the dialog stays open."""
    d.write_settings(autoconnect=0, autocheck=0, icon_tray=0, posX=20, posY=20)
    d.write_accounts("Home", 110)
    main = d.start_pelko()
    dialog, before = open_first_account(d, main)
    type_into(d, dialog, HOST_FIELD, "pop3s://mail.home.example")
    type_into(d, dialog, PASSWD_FIELD, "n3w-secret")
    if d.shots:
        os.makedirs(d.shots, exist_ok=True)
        d.run("import", "-window", str(dialog), os.path.join(d.shots, "accounts-edit.png"))
    d.click(dialog, *SAVE_BUTTON)

    def saved():
        d.check_alive()
        home = accounts(d).get("Home")
        return home if home and home.get("host_name") == b"pop3s://mail.home.example" else None

    home = wait_for("Accounts.ini to hold the new host", saved, timeout=15)
    if unscramble(home["password"]) != b"n3w-secret":
        raise Failure("the password saved reads back as %r" % unscramble(home["password"]))
    if len(accounts(d)) != 1:
        raise Failure("Accounts.ini holds %d accounts, not one" % len(accounts(d)))
    if dialog not in d.new_windows(before):
        raise Failure("the dialog closed on Save")
