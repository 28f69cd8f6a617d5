#pragma once
// Name to IPv4 address, the way the connection needs it.
#include <cstdint>
#include <string>

namespace pelko {

// "localhost" in any letter case gives 127.0.0.1 without a lookup; a dotted
// address is used as written (255.255.255.255 goes on to the lookup, as its
// value is the parser's failure value); anything else is looked up and the
// first address taken. addressText receives the dotted form (the host text
// itself for a dotted address). Raises EWireSocketError (11001 "Host not
// found." and its neighbours) when the lookup fails. Result in network order.
uint32_t ResolveHost(const std::string& host, std::string& addressText);

} // namespace pelko
