#pragma once
// Pelko.pins, beside Accounts.ini: the server certificates the user chose to
// trust, each for one account at one server and port (a home server with a
// certificate of its own, which no CA store knows). One line per pin, fields
// separated by tabs:
//   ACCOUNT  HOST  PORT  SHA-256 fingerprint ("AB:01:..." as TLS shows it)
// Account and host are written with "%", tab, CR and LF as %25, %09, %0D and
// %0A. Lines starting with "#" and lines that are not pins are kept as they
// are and trust nothing. Deleting a line takes the trust back.
#include <string>

namespace pelko {

inline constexpr const char* kPinsFileName = "Pelko.pins";

struct CertificatePin {
    std::string account;     // acc_name, as in Accounts.ini
    std::string host;        // the server as connected to (no brackets); ASCII case does not count
    int port = 0;            // 1 to 65535
    std::string fingerprint; // 32 bytes in hex, colons between; either case
};

// True for "AB:01:...": 32 hex pairs with colons between.
bool IsSha256Fingerprint(const std::string& text);

// The fingerprint (upper case) that the pin file's bytes hold for account at
// host:port; empty when none.
std::string FindPin(const std::string& fileBytes, const std::string& account, const std::string& host, int port);

// The file's bytes with pin in place: the line of that account, host and port
// is replaced (further lines of it dropped) or a line is added; every other
// line stays as it was. A new file starts with a comment that says what it is.
std::string WithPin(const std::string& fileBytes, const CertificatePin& pin);

// FindPin on the file at path. No file, a file that cannot be read, one
// larger than 1 MiB, or one that another user may write (a pin there could
// be anybody's) trusts nothing.
std::string FindPinnedCertificate(const std::string& path, const std::string& account, const std::string& host,
                                  int port);

// Stores pin in the file at path (written whole, atomically, mode 0600).
// Throws FileWriteError, also when an existing file cannot be read (or is
// too large): it is never replaced by a file that lost its other lines.
void TrustCertificate(const std::string& path, const CertificatePin& pin);

} // namespace pelko
