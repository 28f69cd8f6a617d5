#pragma once
// TWireClient: connects to Host (Port, or the port written in the host text)
// and disconnects.
#include "wire/WireSocket.h"

#include <string>

namespace pelko {

class TWireClient : public TWireSocket {
public:
    TWireClient() = default;
    ~TWireClient() override;

    std::string Host;     // server name or address, optionally "host:port"
    std::string UserID;   // credentials, published by the POP3 client
    std::string Password;

    virtual void Connect();
    // Never raises: every failure inside is swallowed.
    void Disconnect() override;

protected:
    // Stops the events from reaching an owner that is going away.
    void UnhookEvents();
};

} // namespace pelko
