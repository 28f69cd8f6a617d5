#include "wire/Wire.h"

#include "wire/WireErrors.h"

namespace pelko {

TWire::~TWire() = default;

int TWire::CloseSocket()
{
    if (!transport_)
        return 0;
    const int result = transport_->close();
    SetTransport(nullptr);
    return result;
}

void TWire::Disconnect()
{
    if (Connected())
        CloseSocket();
}

void TWire::AllocateSocket(const HostSpec& target)
{
    std::unique_ptr<Transport> t = TransportFactory ? TransportFactory(target) : MakeTransport(target);
    if (!t || !t->open())
        throw EWireInvalidSocket(kInvalidSocketText);
    SetTransport(std::move(t));
}

} // namespace pelko
