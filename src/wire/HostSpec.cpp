#include "wire/HostSpec.h"

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

} // namespace

HostSpec ParseHostSpec(const std::string& text)
{
    HostSpec spec;
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
