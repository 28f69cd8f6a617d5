#include "configdialog/ServerForm.h"

#include <cctype>
#include <cstddef>

namespace pelko {

namespace {

struct Scheme {
    const char* prefix;
    ServerForm form;
};

constexpr Scheme kSchemes[] = {
    {"pop3s://", {ServerProtocol::Pop3, ServerConnection::Tls}},
    {"pop3://", {ServerProtocol::Pop3, ServerConnection::Plain}},
    {"imaps://", {ServerProtocol::Imap, ServerConnection::Tls}},
    {"imap://", {ServerProtocol::Imap, ServerConnection::Plain}},
};
constexpr const char* kStartTls = "?starttls";

bool StartsWithNoCase(const std::string& text, size_t at, const std::string& what)
{
    if (text.size() < at + what.size())
        return false;
    for (size_t i = 0; i < what.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != what[i])
            return false;
    return true;
}

// The server text taken apart: the form, the host with its port, the mailbox path.
struct Parts {
    ServerForm form;
    std::string authority, path;
};

Parts Split(const std::string& host)
{
    Parts p;
    std::string rest = host;
    for (const Scheme& s : kSchemes)
        if (StartsWithNoCase(host, 0, s.prefix)) {
            p.form = s.form;
            rest = host.substr(std::string(s.prefix).size());
            if (rest.size() >= 9 && StartsWithNoCase(rest, rest.size() - 9, kStartTls)) {
                rest.resize(rest.size() - 9);
                if (p.form.connection == ServerConnection::Plain)
                    p.form.connection = ServerConnection::StartTls;
            }
            const size_t slash = rest.find('/');
            if (slash != std::string::npos) {
                p.path = rest.substr(slash);
                rest.resize(slash);
            }
            break;
        }
    p.authority = rest;
    return p;
}

// The authority without a port the protocols use by default, which would
// name the wrong service once the form changes.
std::string WithoutUsualPort(const std::string& authority)
{
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos)
        return authority;
    const size_t bracket = authority.rfind(']');
    const bool bracketed = bracket != std::string::npos && bracket + 1 == colon;
    if (!bracketed && authority.find(':') != colon)
        return authority; // a bare IPv6 literal: no port
    const std::string port = authority.substr(colon + 1);
    for (const char* usual : {"110", "995", "143", "993"})
        if (port == usual)
            return authority.substr(0, colon);
    return authority;
}

} // namespace

ServerForm ReadServerForm(const std::string& host)
{
    return Split(host).form;
}

std::string WithServerForm(const std::string& host, ServerForm form)
{
    const Parts p = Split(host);
    std::string authority = WithoutUsualPort(p.authority);
    // A bare IPv6 literal gets the brackets a URL form needs.
    if (authority.find(':') != authority.rfind(':') && authority.find('[') == std::string::npos)
        authority = "[" + authority + "]";
    const bool imap = form.protocol == ServerProtocol::Imap;
    const std::string path = imap ? p.path : std::string();
    switch (form.connection) {
    case ServerConnection::Tls:
        return (imap ? "imaps://" : "pop3s://") + authority + path;
    case ServerConnection::StartTls:
        return (imap ? "imap://" : "pop3://") + authority + path + kStartTls;
    case ServerConnection::Plain:
        break;
    }
    return imap ? "imap://" + authority + path : authority;
}

} // namespace pelko
