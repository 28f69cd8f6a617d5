#pragma once
// TWire: the component that owns the connection endpoint ("Handle"). A
// component counts as connected exactly while it holds a transport, which
// includes the moment between making the socket and finishing the connect.
#include "wire/HostSpec.h"
#include "wire/Transport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pelko {

class TWire {
public:
    TWire() = default;
    virtual ~TWire();
    TWire(const TWire&) = delete;
    TWire& operator=(const TWire&) = delete;

    int32_t Port = 0;    // only the low 16 bits are used
    std::string BoundIP; // stored only; no local bind takes place

    std::string Version() const { return "1.0"; }
    void SetVersion(const std::string&) {} // accepted and ignored

    // Chooses the transport for a server text; plain TCP unless replaced
    // (tests hand in in-memory transports here).
    std::function<std::unique_ptr<Transport>(const HostSpec&)> TransportFactory = MakeTransport;

    // Closes the endpoint; returns the close call's result.
    virtual int CloseSocket();
    virtual bool Connected() const { return transport_ != nullptr; }
    virtual void Disconnect();

    Transport* Handle() const { return transport_.get(); }

protected:
    // Every change of the endpoint counts, so that a wait can tell that an
    // event handler closed or replaced the connection in the meantime.
    void SetTransport(std::unique_ptr<Transport> t)
    {
        transport_ = std::move(t);
        ++transportGeneration_;
    }
    uint64_t TransportGeneration() const { return transportGeneration_; }

    // Makes the endpoint for target; EWireInvalidSocket when impossible.
    virtual void AllocateSocket(const HostSpec& target);

    std::unique_ptr<Transport> transport_;

private:
    uint64_t transportGeneration_ = 0;
};

} // namespace pelko
