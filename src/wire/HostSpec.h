#pragma once
// The server text of an account, which may carry a port: "host" or
// "host:port". Kept as a parsed record so that other forms (a scheme such as
// "pop3s://host", a "?starttls" option, "[v6]:port") can join without
// touching the callers.
#include <string>

namespace pelko {

struct HostSpec {
    std::string host;     // name or address to connect to
    int port = 0;         // meaningful when hasPort
    bool hasPort = false; // false: the component's Port applies
};

// "host:port" when the text after the last colon is 1 to 5 digits with a value
// from 1 to 65535; otherwise the whole text is the host. A text with more than
// one colon (a bare IPv6 literal) is a host without port.
HostSpec ParseHostSpec(const std::string& text);

} // namespace pelko
