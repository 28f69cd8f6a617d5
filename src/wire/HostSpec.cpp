#include "wire/HostSpec.h"

#include <cctype>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace pelko {

namespace {

bool ParsePort(const std::string& digits, int& port)
{
    if (digits.empty() || digits.size() > 5)
        return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

HostSpec Refused(const std::string& text, const std::string& why)
{
    HostSpec spec;
    spec.host = text;
    spec.problem = "Cannot use the server address \"" + text + "\": " + why;
    return spec;
}

// "[literal]" or "[literal]:port" at the start of authority. false (with
// why set) when the brackets are not closed, empty, or followed by anything
// but a port.
bool ParseBracketed(const std::string& authority, HostSpec& spec, std::string& why)
{
    const size_t close = authority.find(']');
    if (close == std::string::npos) {
        why = "the \"[\" is not closed.";
        return false;
    }
    const std::string inside = authority.substr(1, close - 1);
    if (inside.empty() || inside.find(':') == std::string::npos || !IsIpLiteral(inside)) {
        why = "brackets hold an IPv6 address only.";
        return false;
    }
    spec.host = inside;
    spec.bracketed = true;
    const std::string after = authority.substr(close + 1);
    if (after.empty())
        return true;
    if (after[0] != ':' || !ParsePort(after.substr(1), spec.port)) {
        why = "the port must be a number from 1 to 65535.";
        return false;
    }
    spec.hasPort = true;
    return true;
}

// The "host[:port]" part of a URL form.
bool ParseAuthority(const std::string& authority, HostSpec& spec, std::string& why)
{
    if (authority.empty()) {
        why = "no server name.";
        return false;
    }
    if (authority[0] == '[')
        return ParseBracketed(authority, spec, why);
    for (char c : authority) {
        if (static_cast<unsigned char>(c) <= 32 || c == '@' || c == '[' || c == ']' || c == '#') {
            why = "the server name holds a character that cannot be part of it.";
            return false;
        }
    }
    const size_t colon = authority.find(':');
    if (colon == std::string::npos) {
        spec.host = authority;
        return true;
    }
    if (authority.find(':', colon + 1) != std::string::npos) {
        why = "an IPv6 address must be written in brackets, e.g. [::1].";
        return false;
    }
    if (colon == 0) {
        why = "no server name.";
        return false;
    }
    if (!ParsePort(authority.substr(colon + 1), spec.port)) {
        why = "the port must be a number from 1 to 65535.";
        return false;
    }
    spec.host = authority.substr(0, colon);
    spec.hasPort = true;
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The mailbox of an IMAP URL ("/Sent%20Items"): "%XX" decoded; no control
// characters, no ";" parameters (a UIDVALIDITY or a section is not a
// mailbox to watch).
bool ParseMailbox(const std::string& path, std::string& mailbox, std::string& why)
{
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        if (c == ';') {
            why = "the mailbox name cannot hold \";\" (write it as %3B).";
            return false;
        }
        if (c == '%') {
            const int hi = i + 2 < path.size() ? HexValue(path[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(path[i + 2]) : -1;
            if (lo < 0) {
                why = "a \"%\" in the mailbox name must be followed by two hex digits.";
                return false;
            }
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 32 || c == 0x7F) {
            why = "the mailbox name holds a control character.";
            return false;
        }
        out += c;
    }
    mailbox = out.empty() ? "INBOX" : out;
    return true;
}

HostSpec ParseUrl(const std::string& text, size_t schemeEnd)
{
    HostSpec spec;
    const std::string scheme = Lower(text.substr(0, schemeEnd));
    if (scheme == "pop3s" || scheme == "imaps")
        spec.security = HostSecurity::Implicit;
    else if (scheme != "pop3" && scheme != "imap")
        return Refused(text, "only pop3://, pop3s://, imap:// and imaps:// are understood.");
    const bool imap = scheme[0] == 'i';
    if (imap)
        spec.protocol = HostProtocol::Imap;

    std::string rest = text.substr(schemeEnd + 3);
    std::string query;
    bool hasQuery = false;
    const size_t q = rest.find('?');
    if (q != std::string::npos) {
        query = rest.substr(q + 1);
        hasQuery = true;
        rest.erase(q);
    }
    std::string path;
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        path = rest.substr(slash + 1);
        rest.erase(slash);
    }
    if (!imap && !path.empty()) // "pop3s://host/" is common when pasted from elsewhere
        return Refused(text, "a path cannot follow the server name.");

    std::string why;
    if (!ParseAuthority(rest, spec, why))
        return Refused(text, why);
    if (imap && !ParseMailbox(path, spec.mailbox, why))
        return Refused(text, why);

    if (hasQuery) {
        // An option we do not know could be a security wish: refuse rather
        // than connect without it.
        if (Lower(query) != "starttls")
            return Refused(text, "the only option is \"?starttls\".");
        if (spec.security == HostSecurity::Implicit)
            return Refused(text, imap ? "imaps:// is encrypted from the start; \"?starttls\" belongs to imap://."
                                      : "pop3s:// is encrypted from the start; \"?starttls\" belongs to pop3://.");
        spec.security = HostSecurity::StartTls;
    }
    if (spec.security == HostSecurity::Implicit && !spec.hasPort) {
        spec.port = imap ? kImapsDefaultPort : kPop3sDefaultPort;
        spec.hasPort = true;
    }
    return spec;
}

} // namespace

bool IsIpLiteral(const std::string& host)
{
    if (host.empty() || host.find('\0') != std::string::npos)
        return false;
    unsigned char buf[sizeof(in6_addr)];
    if (::inet_pton(AF_INET, host.c_str(), buf) == 1)
        return true;
    // A zone ("fe80::1%eth0") is not part of the address itself; it names an
    // interface, so only the characters of interface names are let through.
    const size_t percent = host.find('%');
    if (percent != std::string::npos) {
        const std::string zone = host.substr(percent + 1);
        if (zone.empty() || zone.size() > 15)
            return false;
        for (const char c : zone)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
                return false;
    }
    const std::string address = host.substr(0, percent);
    return ::inet_pton(AF_INET6, address.c_str(), buf) == 1;
}

HostSpec ParseHostSpec(const std::string& text)
{
    const size_t schemeEnd = text.find("://");
    if (schemeEnd != std::string::npos)
        return ParseUrl(text, schemeEnd);

    HostSpec spec;
    if (!text.empty() && text[0] == '[') {
        std::string why;
        if (!ParseBracketed(text, spec, why))
            return Refused(text, why);
        return spec;
    }

    spec.host = text;
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon)
        return spec;
    int port = 0;
    if (!ParsePort(text.substr(colon + 1), port))
        return spec;
    spec.host = text.substr(0, colon);
    spec.port = port;
    spec.hasPort = true;
    return spec;
}

} // namespace pelko
