#include "wire/HostResolve.h"

#include "wire/HostSpec.h"
#include "wire/SocketErrors.h"
#include "wire/WireErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace pelko {

namespace {

bool IsLocalhost(const std::string& host)
{
    static const char kName[] = "localhost";
    if (host.size() != sizeof kName - 1)
        return false;
    for (size_t i = 0; i < host.size(); ++i) {
        char c = host[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kName[i])
            return false;
    }
    return true;
}

ResolvedAddress FromIPv4(in_addr_t address, uint16_t port, const std::string& text)
{
    ResolvedAddress r;
    std::memset(&r.address, 0, sizeof r.address);
    sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&r.address);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    in->sin_addr.s_addr = address;
    r.length = sizeof(sockaddr_in);
    r.text = text;
    return r;
}

std::string NumericText(const sockaddr* a, socklen_t length)
{
    char text[NI_MAXHOST] = {};
    if (::getnameinfo(a, length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return std::string();
    return text;
}

[[noreturn]] void RaiseLookupError(int rc)
{
    int code = rc != 0 ? WsaCodeFromLookup(rc, errno) : kWsaHostNotFound;
    if (code == 0)
        code = kWsaHostNotFound;
    SetLastSocketError(code);
    throw EWireSocketError(code);
}

} // namespace

std::vector<ResolvedAddress> ResolveAddresses(const std::string& host, uint16_t port)
{
    if (IsLocalhost(host))
        return {FromIPv4(htonl(INADDR_LOOPBACK), port, "127.0.0.1")};
    const bool hasNul = host.find('\0') != std::string::npos;
    if (hasNul)
        RaiseLookupError(EAI_NONAME);
    const in_addr_t parsed = ::inet_addr(host.c_str());
    if (parsed != INADDR_NONE)
        return {FromIPv4(parsed, port, host)};

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const bool literal = IsIpLiteral(host);
    if (literal)
        hints.ai_flags = AI_NUMERICHOST;
    const std::string service = std::to_string(port);
    addrinfo* result = nullptr;
    errno = 0;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    if (rc != 0 || result == nullptr) {
        if (result)
            ::freeaddrinfo(result);
        RaiseLookupError(rc);
    }
    std::vector<ResolvedAddress> out;
    for (const addrinfo* a = result; a; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        ResolvedAddress r;
        std::memset(&r.address, 0, sizeof r.address);
        std::memcpy(&r.address, a->ai_addr, a->ai_addrlen);
        r.length = a->ai_addrlen;
        r.text = literal ? host : NumericText(a->ai_addr, a->ai_addrlen);
        bool seen = false;
        for (const ResolvedAddress& o : out)
            seen = seen || (o.length == r.length && std::memcmp(&o.address, &r.address, r.length) == 0);
        if (!seen)
            out.push_back(r);
    }
    ::freeaddrinfo(result);
    if (out.empty())
        RaiseLookupError(0);
    return out;
}

} // namespace pelko
