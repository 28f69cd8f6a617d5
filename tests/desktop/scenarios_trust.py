"""A home server's own certificate, trusted from the certificate box."""
import hashlib
import os
import ssl
import subprocess

from desktop import SKIP, Failure, wait_for

# The check button of the default skin, in client coordinates.
CHECK = (78 + 13, 26 + 13)


def scrambled(password, key=9975):
    """A password as Accounts.ini keeps it."""
    out = bytearray()
    for ch in password.encode():
        b = ch ^ (key >> 8)
        out.append(b)
        key = ((key + b) * 9759 + 25286) & 0xFFFF
    return bytes(out)


def start_tls_server(d):
    """The tests' dovecot in the scenario's folder, with its self-signed
    certificate; gives (TLS port, SHA-256 fingerprint) or None without one."""
    script = os.path.join(d.source, "tests", "support", "dovecot.sh")
    folder = os.path.join(d.work, "dovecot")
    subprocess.run([script, "start", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    d.stop_tls_server = lambda: subprocess.run([script, "stop", folder], stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL, timeout=60)
    port_file = os.path.join(folder, "port_tls")
    if not os.path.exists(port_file):
        return None
    with open(port_file) as f:
        port = int(f.read())
    with open(os.path.join(folder, "cert.pem")) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    digest = hashlib.sha256(der).hexdigest().upper()
    fingerprint = ":".join(digest[i:i + 2] for i in range(0, len(digest), 2))
    new = os.path.join(folder, "mail", "user1", "Maildir", "new")
    path = os.path.join(new, "1.1.pelko-test")
    with open(path, "wb") as f:
        f.write(b"From: Home <me@home.lan>\r\nSubject: Hello\r\n\r\nbody\r\n")
    st = os.stat(new)
    os.chown(path, st.st_uid, st.st_gid)
    return port, fingerprint


def scenario_trust_certificate(d):
    """A self-signed pop3s server: the check button brings the certificate
    box with the fingerprint and the choice to trust it; trusted, the next
    check succeeds and Pelko.pins holds the pin."""
    if os.geteuid() != 0:
        print("SKIP: the test dovecot needs root")
        return SKIP
    try:
        server = start_tls_server(d)
        if server is None:
            print("SKIP: no dovecot with TLS here")
            return SKIP
        port, fingerprint = server
        for name in ("SSL_CERT_FILE", "SSL_CERT_DIR"):  # the system's store only
            d.env.pop(name, None)
        d.write_settings(autoconnect=1, autocheck=1, icon_tray=0)
        with open(os.path.join(d.pelko_dir, "Accounts.ini"), "wb") as f:
            f.write(b"\r\n[Account1]\r\nacc_name = Home\r\nhost_name = pop3s://localhost:%d\r\n"
                    b"user_name = user1\r\npassword = %s\r\ninactive = 0\r\n" % (port, scrambled("pass1")))
        atspi = d.start_accessibility()
        main = d.start_pelko()
        seen = []

        def texts(role, want):
            d.check_alive()
            seen[:] = [(n["role"], n["name"]) for n in atspi.pelko() or []]
            return [name for r, name in seen if r == role and want in name]

        def wait_text(role, want, what):
            try:
                return wait_for(what, lambda: texts(role, want), timeout=20)
            except Failure:
                raise Failure("no %s holds %r; Pelko's objects: %r" % (role, want, seen))

        # The start's own check tells the refusal on the status line only.
        wait_text("label", "Home-TLS certificate problem: self-signed certificate", "the refusal on the status line")
        before = set(d.client_windows())
        d.click(main, *CHECK)
        box = wait_for("the certificate box", lambda: d.new_windows(before))[0]
        d.screenshot("certificate-box")
        wait_text("label", fingerprint, "the fingerprint in the box")
        wait_text("label", "Account: Home (pop3s://localhost:%d)" % port, "the account in the box")
        wait_text("push button", "Trust this certificate", "the trust choice")
        if os.path.exists(os.path.join(d.pelko_dir, "Pelko.pins")):
            raise Failure("a pin was stored before the user chose to trust")
        d.run("xdotool", "windowactivate", "--sync", str(box))
        d.keys("alt+t")
        wait_for("the box to close", lambda: box not in d.client_windows(), timeout=10)
        pins = os.path.join(d.pelko_dir, "Pelko.pins")
        wait_for("the pin file", lambda: os.path.exists(pins), timeout=10)
        with open(pins) as f:
            pin_text = f.read()
        if "Home\tlocalhost\t%d\t%s\n" % (port, fingerprint) not in pin_text:
            raise Failure("Pelko.pins holds %r" % pin_text)

        before = set(d.client_windows())
        d.click(main, *CHECK)
        wait_text("label", "Home-1 message", "the next check to count the mail")
        if d.new_windows(before):
            raise Failure("a box came up on the check after trusting")
    finally:
        if hasattr(d, "stop_tls_server"):
            d.stop_tls_server()
