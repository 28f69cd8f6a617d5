#include "wire/HostResolve.h"

#include "wire/SocketErrors.h"

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

} // namespace

uint32_t ResolveHost(const std::string& host, std::string& addressText)
{
    addressText = host;
    if (IsLocalhost(host)) {
        addressText = "127.0.0.1";
        return htonl(INADDR_LOOPBACK);
    }
    if (host.find('\0') == std::string::npos) {
        const in_addr_t parsed = ::inet_addr(host.c_str());
        if (parsed != INADDR_NONE)
            return parsed;
    }

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    errno = 0;
    const int rc = host.find('\0') == std::string::npos ? ::getaddrinfo(host.c_str(), nullptr, &hints, &result)
                                                        : EAI_NONAME;
    if (rc != 0 || result == nullptr) {
        if (result)
            ::freeaddrinfo(result);
        int code = rc != 0 ? WsaCodeFromLookup(rc, errno) : kWsaHostNotFound;
        if (code == 0)
            code = kWsaHostNotFound;
        SetLastSocketError(code);
        CheckSocketResult(-1, {0}); // raises: the code is never 0 here
        return 0;
    }
    in_addr address;
    std::memcpy(&address, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, sizeof address);
    ::freeaddrinfo(result);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    addressText = text;
    return address.s_addr;
}

} // namespace pelko
