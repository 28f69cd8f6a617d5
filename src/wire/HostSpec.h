#pragma once
// The server text of an account. The account file has one field for it, so
// the way to connect is written into the text itself:
//   host                     plain POP3 on the component's Port (110)
//   host:port                plain POP3 on that port
//   [v6]  [v6]:port          an IPv6 literal (brackets keep its colons apart
//                            from the port)
//   pop3s://host[:port]      TLS from the first byte, port 995 by default
//   pop3://host[:port]       plain, as "host[:port]"
//   pop3://host[:port]?starttls   plain, upgraded with "STLS" before the login
//   imaps://host[:port][/mailbox]  IMAP, TLS from the first byte, port 993
//   imap://host[:port][/mailbox]   IMAP, plain (the component's Port, 143)
//   imap://host[:port][/mailbox]?starttls   IMAP, upgraded with "STARTTLS"
// The mailbox of an IMAP form is written as in an IMAP URL (RFC 5092):
// UTF-8, "%XX" for any other octet; it defaults to "INBOX".
// Schemes and the option are matched ignoring ASCII letter case; the host in
// a URL form may be bracketed as well.
#include <string>

namespace pelko {

enum class HostSecurity {
    Plain,    // no TLS at all
    Implicit, // TLS handshake right after the TCP connect
    StartTls  // plain greeting, then "STLS" and a handshake before the login
};

enum class HostProtocol { Pop3, Imap };

constexpr int kPop3sDefaultPort = 995;
constexpr int kImapsDefaultPort = 993;

struct HostSpec {
    std::string host;     // name or address to connect to (brackets removed)
    int port = 0;         // meaningful when hasPort
    bool hasPort = false; // false: the component's Port applies
    HostSecurity security = HostSecurity::Plain;
    bool bracketed = false; // the host was written as "[...]"
    HostProtocol protocol = HostProtocol::Pop3;
    std::string mailbox; // IMAP: the mailbox named (percent-decoded), "INBOX" by default; POP3: empty
    // Not empty when the text cannot be used; says what is wrong with it.
    // Nothing is connected then (a half-understood "pop3s://" must never
    // fall back to a plain connection).
    std::string problem;
};

// A text without a scheme that is not a bracketed literal keeps the old
// reading: "host:port" when the text after the only colon is 1 to 5 digits
// with a value from 1 to 65535; otherwise the whole text is the host (a bare
// IPv6 literal has more than one colon and so is a host without port).
HostSpec ParseHostSpec(const std::string& text);

// True for texts that are numeric IPv4 or IPv6 addresses (no lookup needed,
// no SNI, verified against the certificate's IP entries).
bool IsIpLiteral(const std::string& host);

} // namespace pelko
