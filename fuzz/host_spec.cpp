// The server text of an account ("host", "host:port", "[v6]:port",
// "pop3s://...", "pop3://...?starttls", "imaps://host/mailbox", ...). Besides
// "no crash": a usable result names a host and a valid port, a text that asks
// for TLS never comes out as a plain connection, and only the IMAP forms name
// a mailbox (never empty, no control characters).
#include "FuzzSupport.h"
#include "wire/HostSpec.h"

#include <string>

using namespace pelko;

namespace {

bool startsWithIgnoreCase(const std::string& s, const std::string& prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const HostSpec spec = ParseHostSpec(text);
    (void)IsIpLiteral(spec.host);
    (void)IsIpLiteral(text);
    if (!spec.problem.empty())
        return 0;
    if (spec.hasPort)
        FUZZ_CHECK(spec.port >= 1 && spec.port <= 65535);
    const bool imap = startsWithIgnoreCase(text, "imap://") || startsWithIgnoreCase(text, "imaps://");
    if (startsWithIgnoreCase(text, "pop3s://") || startsWithIgnoreCase(text, "imaps://"))
        FUZZ_CHECK(spec.security == HostSecurity::Implicit);
    if (spec.security == HostSecurity::Implicit)
        FUZZ_CHECK(startsWithIgnoreCase(text, "pop3s://") || startsWithIgnoreCase(text, "imaps://"));
    if (spec.security == HostSecurity::StartTls)
        FUZZ_CHECK(startsWithIgnoreCase(text, "pop3://") || startsWithIgnoreCase(text, "imap://"));
    FUZZ_CHECK((spec.protocol == HostProtocol::Imap) == imap);
    FUZZ_CHECK(imap != spec.mailbox.empty());
    for (const char c : spec.mailbox)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 0x7F);
    if (spec.bracketed)
        FUZZ_CHECK(spec.host.find('[') == std::string::npos && spec.host.find(']') == std::string::npos);
    return 0;
}
