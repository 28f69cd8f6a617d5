#include "wire/WireClient.h"

#include "wire/HostResolve.h"
#include "wire/SocketErrors.h"
#include "wire/WireErrors.h"

#include <chrono>
#include <cstring>
#include <netinet/in.h>

namespace pelko {

TWireClient::~TWireClient()
{
    // Owners are being destroyed around us: no events from here on.
    UnhookEvents();
    if (Connected())
        TWireClient::Disconnect();
}

void TWireClient::UnhookEvents()
{
    OnStatus = nullptr;
    OnWork = nullptr;
    OnIdle = nullptr;
    OnCaptureLine = nullptr;
}

void TWireClient::Connect()
{
    if (Connected())
        throw EWireAlreadyConnected(kAlreadyConnectedText);
    DoStatus("Connecting to " + Host);
    SetBufferChunk(BufferChunk());
    const HostSpec target = ParseHostSpec(Host);
    AllocateSocket(target);
    try {
        if (!UseNagle)
            CheckSocketResult(transport_->setNoDelay() ? 0 : -1, {0});

        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        const uint16_t port = static_cast<uint16_t>(target.hasPort ? target.port : (Port & 0xFFFF));
        address.sin_port = htons(port);
        address.sin_addr.s_addr = ResolveHost(target.host, HostAddress);

        bool first = true;
        const IoResult r = Transfer([&] {
            if (first) {
                first = false;
                return transport_->connect(reinterpret_cast<const sockaddr*>(&address), sizeof address);
            }
            return transport_->finishConnect();
        });
        if (r.state == IoState::Closed) {
            SetLastSocketError(10054);
            CheckSocketResult(-1, {});
        }
        if (r.state == IoState::Failed) {
            SetLastSocketError(r.error);
            CheckSocketResult(-1, {0});
        }

        if (!LogFile.empty())
            OpenLog();
        DoStatus("Socket Connected");
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The caller gets the error of the step that failed.
        }
        throw;
    }
    ClosedGracefully = false;
}

void TWireClient::Disconnect()
{
    // Never fails for the caller; a failing status handler does not keep the
    // socket open either.
    try {
        DoStatus("Disconnecting");
    } catch (...) {
    }
    CloseLog();
    ResetBuffer();
    HostAddress.clear();
    if (Connected())
        CloseSocket();
    try {
        DoStatus("Disconnected");
    } catch (...) {
    }
}

} // namespace pelko
