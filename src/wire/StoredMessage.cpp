#include "wire/StoredMessage.h"

#include "wire/MemoryTransport.h"
#include "wire/MessageClient.h"

#include <memory>

namespace pelko {

std::string StoredMessageToWire(const std::string& fileBytes)
{
    std::string out;
    out.reserve(fileBytes.size() + fileBytes.size() / 32 + 8);
    size_t pos = 0;
    const size_t n = fileBytes.size();
    while (pos < n) {
        size_t nl = fileBytes.find('\n', pos);
        const bool last = nl == std::string::npos;
        if (last)
            nl = n;
        size_t end = nl;
        if (!last && end > pos && fileBytes[end - 1] == '\r')
            --end;
        if (end > pos && fileBytes[pos] == '.')
            out += '.';
        out.append(fileBytes, pos, end - pos);
        out += "\r\n";
        pos = nl + 1;
    }
    out += ".\r\n";
    return out;
}

void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m)
{
    TWireMessageClient client;
    client.AttachTransport(std::make_unique<MemoryTransport>(StoredMessageToWire(fileBytes)));
    client.ReceiveHeaders(m, "");
    client.ReceiveBody(m);
}

} // namespace pelko
