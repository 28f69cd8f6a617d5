"""The password scrambling of Accounts.ini, for the scripts that write such
files (benchmarks, fuzz seeds)."""

PASSWORD_KEY = 9975


def scramble(text: bytes, key: int = PASSWORD_KEY) -> bytes:
    out = bytearray()
    for c in text:
        b = c ^ (key >> 8)
        out.append(b)
        key = ((key + b) * 9759 + 25286) & 0xFFFF
    return bytes(out)
