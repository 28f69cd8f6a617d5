#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<target>/ from the test suite's data:
the repository's skins, the settings and account files the config tests use,
the POP3 and IMAP conversations of tests/wire/scripts, and seen-ids files. Run it again
after changing those; libFuzzer's own findings go to the build directory, not
here."""
import glob
import hashlib
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
OUT = os.path.join(HERE, "corpus")

sys.path.insert(0, os.path.join(ROOT, "tools"))
from accounts_ini import scramble  # noqa: E402


def crlf(text: str) -> bytes:
    return text.replace("\n", "\r\n").encode("latin-1")


def put(target: str, data: bytes, name: str = "") -> None:
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    name = name or hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def account(n: int, name: str, password: str, inactive: bool = False) -> bytes:
    return (crlf(f"\n[Account{n}]\nacc_name = {name}\nhost_name = h{name}\nuser_name = u{name}\npassword = ")
            + scramble(password.encode()) + crlf(f"\ninactive = {1 if inactive else 0}\n"))


def ini_seeds() -> None:
    settings = crlf("current_skin = /skins/blue/\nautocheck =1\nautoconnect =1\nheader_only =0\nontop =1\n"
                    "minutes = 5\nposX = -20\nposY = $20\nplaysnd =1\nwavsnd = /snd/a b.wav  \n"
                    "icon_tray =0\nrun_my_client =1\nmy_mail_client = thunderbird, -compose\nnotify =1\n")
    put("ini_settings", settings, "settings")
    put("ini_settings", settings + account(1, "one", "p1", True) + account(2, "two", "p2") +
        account(4, "four", "p4"), "settings_accounts_gap")
    put("ini_settings", crlf("current_skin = /s/\n") + account(1, "my password box", "secret1"), "capture")
    put("ini_settings", crlf("current_skin = /s/\n\n[Account1]\nacc_name = a\npassword = ") +
        scramble(b"pa") + b"\r\n" + account(2, "b", "pb"), "missing_host")
    put("ini_settings", crlf("; comment\ncurrent_skin=c:\\skins\\a\\\nposX = 120\nminutes = 5x\n"), "bad_number")
    put("ini_settings", b"current_skin = /x/\r\nwavsnd = c:\\ontop.wav\nontop =1\x1a\r\nposY = 3\r\n", "lf_eof")
    put("ini_settings", crlf("[status] \nsize = 8,10\n[online]\nnotonlinebmp = off.bmp\nonlinebmp = on.bmp\n"),
        "sections")


def skin_seeds() -> None:
    for ini in sorted(glob.glob(os.path.join(ROOT, "skins", "*", "skin.ini"))):
        with open(ini, "rb") as f:
            data = f.read()
        name = os.path.basename(os.path.dirname(ini))
        put("skin_reader", data, name)
        put("ini_settings", data, "skin_" + name)
    put("skin_reader", crlf("[background]\nmain = back.bmp\n[status]\nsize = 6\nmaxchar = 0\n"
                            "[memo_msgwindow]\nfontcolor = 0,128\nfontsize = 9,\n"), "partial")
    put("skin_reader", crlf("[background]\nmain = a.bmp\n[memo_msgwindow]\nfontcolor = 255, 0,0x1f\n"
                            "fontstyle = Bold Italic\nskin_name = x\n; skin_author = y\n"), "colour")
    # Sizes that once took gigabytes of pictures.
    put("skin_reader", crlf("[background]\nmain = a.bmp\n[nbmsg]\nsize = 4096,4096\n[status]\n"
                            "size = 2000000000,2000000000\nmaxchar = 2000000000\n"), "huge_sizes")


def font_seeds() -> None:
    # FuzzedDataProvider reads the numbers from the end: text first, then the
    # flag and three integers (read back to front).
    for text, w, h, maxchar, status in [(b"3 MESSAGES", 7, 11, 20, 1), (b"0123456789", 10, 15, 128, 0),
                                        (b"Hello (world) @ a-z", 6, 10, 5, 1), (b"   ", -4, 2, -1, 0),
                                        (b"DISCONNECTED " * 20, 4096, 4096, 2000000000, 1)]:
        tail = bytes([status]) + struct.pack("<iii", maxchar, h, w)[::-1]
        put("font_layout", text + tail)


def host_seeds() -> None:
    # The account's server text in the forms the README lists.
    for name, text in [("plain", "pop.example.com"), ("port", "pop.example.com:1110"),
                       ("pop3s", "pop3s://pop.example.com"), ("pop3s_port", "pop3s://pop.example.com:9955"),
                       ("starttls", "pop3://pop.example.com:110?starttls"), ("v6", "[2001:db8::5]:110"),
                       ("v6s", "pop3s://[2001:db8::5]"), ("v6bare", "2001:db8::5"), ("badport", "POP3S://Host:0"),
                       ("imaps", "imaps://imap.example.com"), ("imaps_mailbox", "imaps://imap.example.com:993/Entw%C3%BCrfe"),
                       ("imap_starttls", "imap://[2001:db8::5]/Sent%20Items?starttls"), ("imap_plain", "IMAP://h:143/")]:
        put("host_spec", text.encode(), name)


def region_seeds() -> None:
    for seed in range(4):
        data = bytes((i * 37 + seed * 11) & 0xFF for i in range(300 + 200 * seed))
        put("region_scan", data)


# The most bytes a FLOOD step of a script gives a seed: past the 100 lines
# fuzz/pop3_replies.cpp allows one reply, yet four floods of a script stay
# within the 16 KiB of input fuzz/run-all.sh gives the target.
FLOOD_SEED_BYTES = 3500


def script_replies(path: str):
    """The server's bytes and the steps of one test script."""
    server = bytearray()
    steps = []
    with open(path, encoding="latin-1") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("@do "):
                steps.append(line[4:].split()[0])
            elif line.startswith("S: ") or line == "S:":
                server += line[3:].encode("latin-1") + b"\r\n"
            elif line.startswith("LF: "):
                server += line[4:].encode("latin-1") + b"\n"
            elif line.startswith("SRAW: "):
                server += line[6:].encode("latin-1")
            elif line.startswith("RAW "):
                server += bytes.fromhex(line[4:].strip())
            elif line.startswith("REPEAT "):
                _, count, text = line.split(" ", 2)
                for i in range(1, min(int(count), 200) + 1):
                    server += f"{i} {text}\r\n".encode("latin-1")
            elif line.startswith("FLOOD "):
                # A flood (endless with count 0) as far as the fuzz target's
                # reply bounds reach, and a little beyond.
                _, count, hexbytes = line.split(" ", 2)
                unit = bytes.fromhex(hexbytes.strip())
                times = max(1, FLOOD_SEED_BYTES // len(unit))
                server += unit * (min(int(count), times) if int(count) > 0 else times)
    return bytes(server), steps


def wire_seeds() -> None:
    codes = {"count": 0, "retr": 1, "top": 2, "dele": 3}
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "wire", "scripts", "*.pop"))):
        server, steps = script_replies(path)
        ops = [codes[s] for s in steps if s in codes][:3]
        ops += [0] * (3 - len(ops))
        plan = (ops[0] << 2) | (ops[1] << 4) | (ops[2] << 6)
        name = os.path.splitext(os.path.basename(path))[0]
        put("pop3_replies", bytes([plan]) + server, name)
        # The message of each RETR reply, as the parser gets it.
        for m in re.finditer(rb"\+OK[^\r\n]*octets\r\n(.*?\r\n\.\r\n)", server, re.S):
            put("message_parse", m.group(1), name)
    msgs = {
        "multipart_alternative": "From: =?utf-8?B?w4Fubg==?= <ann@example.org>\nTo: \"B, C\" <b@x>, d@y\n"
        "Date: Tue, 5 Jan 1999 10:00:00 +0100\nContent-Type: multipart/mixed; boundary=outer\n\n"
        "--outer\nContent-Type: multipart/alternative; boundary=\"inner\"\n\n--inner\n"
        "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
        "caf=E9 soft=\nbreak\n--inner\nContent-Type: text/html\n\n<p>Hi <b>there</b>&amp;</p>\n--inner--\n"
        "--outer\nContent-Type: text/plain; name=\"../../etc/x.txt\"\nContent-Disposition: attachment; "
        "filename=\"../../etc/x.txt\"\n\nplain attachment\n..dot\n--outer--\n.\n",
        "folded_headers": "Subject: one\n\ttwo\n three\n continued\nX-Empty:\nFrom:a@b\nTitle: t\n\nbody\n.\n",
        "no_end_line": "From: a@b\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: "
        "application/octet-stream\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment; "
        "filename=f.bin\n\nAAEC\nAwQ=\n",
        "boundary_missing": "Content-Type: multipart/mixed\n\nx\n.\n",
        "file_name_forms": "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Disposition: attachment;"
        " filename*=UTF-8''na%C3%AFve.pdf\n\nx\n--b\nContent-Disposition: attachment; filename*0*=UTF-8''%C3%A9;"
        " filename*1=\"t\\\"e.odt\"\n\ny\n--b\nContent-Type: image/png; name*=''a%2\n\nz\n--b\n"
        "Content-Disposition: attachment; filename=\"~/.bashrc\"\n\nrc\n--b--\n.\n",
        "text_attachment_links": "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/html\n\n"
        " <a href=\"http://c.example\"><p></a> <A HREF='x?a=1&amp;b=2'>x</a><a href=#top>up</a><a href=\"u\">open\n"
        "--b\nContent-Type: text/csv; name=\"figures.csv\"\nContent-Disposition: attachment; "
        "filename=\"figures.csv\"\n\nyear;count\n2024;7\n--b\nContent-Type: text/plain\n"
        "Content-Transfer-Encoding: base64\nContent-Disposition: attachment; filename=n.txt\n\nbm90ZQo=\n\nafter\n"
        "--b--\n.\n",
    }
    for name, text in msgs.items():
        put("message_parse", crlf(text), name)


def imap_seeds() -> None:
    """fuzz/imap_replies.cpp: two bytes of plan (chunk size, three steps,
    the login, STARTTLS), then the server's side of each .imap script."""
    codes = {"examine": 0, "status": 1, "search": 2, "headers": 3, "fetch": 4, "delete": 5, "idle": 6,
             "select": 7}
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "wire", "scripts", "*.imap"))):
        server, steps = script_replies(path)
        ops = [codes[s] for s in steps if s in codes][:3]
        ops += [0] * (3 - len(ops))
        with open(path, encoding="latin-1") as f:
            text = f.read()
        login = 2 if "@mech login" in text else 0
        starttls = 1 if "?starttls" in text else 0
        plan = (ops[0] << 2) | (ops[1] << 5) | (ops[2] << 8) | (login << 13) | (starttls << 15)
        name = os.path.splitext(os.path.basename(path))[0]
        put("imap_replies", struct.pack("<H", plan) + server, name)


def seen_seeds() -> None:
    """Pelko.seen in both forms, and the hostile files the reader must bound."""
    key = b"Home\tpop3s://pop.example.org\tjoe"
    put("seen_ids", b"pelko-seen 1\naccount " + key + b"\n" + b"".join(b"%d-uid-%d\n" % (i, i) for i in range(5)) +
        b"account Work\th\tu\nA\n", "ids")
    put("seen_ids", b"pelko-seen 2\naccount " + key + b"\n0123456789abcdef\nfedcba9876543210\naccount E\th\tu\n",
        "hashes")
    put("seen_ids", b"pelko-seen 1\naccount A\na\naccount B\nb\n\x7f\x80garbage", "damaged_after_a")
    put("seen_ids", b"pelko-seen 1\naccount A\n" + b"x" * 71 + b"\n", "id_too_long")
    put("seen_ids", b"pelko-seen 2\naccount A\n0123456789ABCDEF\n", "hash_upper_case")
    put("seen_ids", b"pelko-seen 1\naccount " + b"k" * 5000 + b"\na\n", "key_too_long")
    put("seen_ids", b"pelko-seen 1\n" + b"".join(b"account %d\n" % i for i in range(120)), "many_accounts")
    put("seen_ids", b"pelko-seen 1\naccount A\n" + b"".join(b"%d\n" % i for i in range(600)), "short_ids")
    put("seen_ids", b"pelko-seen 1\naccount A\na\naccount A\nb\nc\n", "same_account_twice")
    put("seen_ids", b"pelko-seen 2\naccount A\n0123456789abcdef", "cut_off")
    put("seen_ids", b"pelko-seen 3\naccount A\na\n", "unknown_version")


if __name__ == "__main__":
    ini_seeds()
    skin_seeds()
    font_seeds()
    region_seeds()
    host_seeds()
    wire_seeds()
    imap_seeds()
    seen_seeds()
    for d in sorted(os.listdir(OUT)):
        print(f"{d}: {len(os.listdir(os.path.join(OUT, d)))} seeds")
