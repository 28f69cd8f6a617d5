#pragma once
// Server name to the addresses worth trying, the way the connection needs it.
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace pelko {

struct ResolvedAddress {
    sockaddr_storage address; // port already set
    socklen_t length = 0;
    std::string text; // what HostAddress shows while this one is used
};

// "localhost" in any letter case gives 127.0.0.1 without a lookup; a dotted
// IPv4 address is used as written (255.255.255.255 goes on to the lookup, as
// its value is the parser's failure value), and so is an IPv6 literal; each
// keeps the host text as its address text. Any other name is looked up for
// IPv4 and IPv6 alike and every address returned is given, in the resolver's
// order of preference, with its numeric text. Raises EWireSocketError
// (11001 "Host not found." and its neighbours) when the lookup fails.
std::vector<ResolvedAddress> ResolveAddresses(const std::string& host, uint16_t port);

} // namespace pelko
