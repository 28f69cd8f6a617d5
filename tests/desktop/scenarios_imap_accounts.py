"""IMAP accounts on the Accounts page: the protocol and the connection chosen
from the menu beside the Host field, on a dialog that keeps its size."""
import os

from desktop import Failure, wait_for
from scenarios_dialog import HOST_FIELD, SAVE_BUTTON, accounts, open_first_account

# The dialog's client area, as it always was.
DIALOG_SIZE = (412, 297)


def scenario_imap_account_form(d):
    """A POP3 account becomes an IMAP account over TLS with the keyboard:
    Alt+Down in the Host field opens the menu beside it, I (IMAP), and again
    T (TLS); the Host field shows the form, Save writes it to Accounts.ini's
    host_name line, and the dialog has not grown."""
    d.write_settings(autoconnect=0, autocheck=0, icon_tray=0, posX=20, posY=20)
    d.write_accounts("Home", 110)
    main = d.start_pelko()
    dialog, _ = open_first_account(d, main)
    host_before = accounts(d)["Home"]["host_name"]
    keys_before = set(accounts(d)["Home"])

    def choose(key, shot=None):
        shown = d.shown()
        d.click(dialog, *HOST_FIELD)
        d.keys("alt+Down")
        wait_for("the protocol and connection menu", lambda: d.shown() - shown)
        if shot and d.shots:
            os.makedirs(d.shots, exist_ok=True)
            d.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (DIALOG_SIZE[0] + 120, DIALOG_SIZE[1] + 80,
                  *d.geometry(dialog)[:2]), os.path.join(d.shots, shot))
        d.keys(key)
        wait_for("the menu to close", lambda: not (d.shown() - shown))

    choose("i")
    choose("t", "imap-accounts-menu.png")
    d.click(dialog, *SAVE_BUTTON)

    def saved():
        d.check_alive()
        home = accounts(d).get("Home")
        return home if home and home.get("host_name", b"").startswith(b"imaps://") else None

    home = wait_for("Accounts.ini to hold the IMAP form", saved, timeout=15)
    expected = b"imaps://" + host_before.split(b":")[0]
    if home["host_name"] != expected:
        raise Failure("host_name is %r, not %r (it was %r)" % (home["host_name"], expected, host_before))
    if set(home) != keys_before or len(accounts(d)) != 1:
        raise Failure("Accounts.ini's layout changed: %r" % accounts(d))
    size = d.geometry(dialog)[2:]
    if size != DIALOG_SIZE:
        raise Failure("the dialog is %dx%d, not %dx%d" % (size + DIALOG_SIZE))
    if d.shots:
        d.run("import", "-window", str(dialog), os.path.join(d.shots, "imap-accounts-saved.png"))
