#include "wire/WireClient.h"

#include "wire/BackgroundLookup.h"
#include "wire/HostResolve.h"
#include "wire/SocketErrors.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

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

void TWireClient::ConnectAnyAddress(uint16_t port)
{
    const uint64_t generation = TransportGeneration();
    // A slow name server must not freeze the window or outlast the time-out.
    const std::vector<ResolvedAddress> addresses =
        LookUpWhileIdle(Resolver ? Resolver : AddressResolver(ResolveAddresses), target_.host, port,
                        TimeLeftMs(), [this, generation] {
                            ThrowIfCancelled();
                            if (!OnIdle)
                                return;
                            OnIdle();
                            ThrowIfCancelled();
                            if (!transport_ || TransportGeneration() != generation)
                                throw EWireSocketError(kWsaNotSocket);
                        });
    if (addresses.empty())
        throw EWireSocketError(kWsaHostNotFound);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const ResolvedAddress& a = addresses[i];
        const bool last = i + 1 == addresses.size();
        HostAddress = a.text;
        bool first = true;
        IoResult r;
        try {
            r = Transfer([&] {
                if (first) {
                    first = false;
                    return transport_->connect(reinterpret_cast<const sockaddr*>(&a.address), a.length);
                }
                return transport_->finishConnect();
            });
        } catch (const EWireSocketError&) {
            // A time-out moves on to the next address, unless an event
            // handler closed or replaced the connection meanwhile.
            if (last || !transport_ || TransportGeneration() != generation)
                throw;
            RestartDeadline();
            continue;
        }
        if (r.state == IoState::Done)
            return;
        const int code = r.state == IoState::Closed ? kWsaConnReset : r.error;
        if (last) {
            SetLastSocketError(code);
            CheckSocketResult(kSocketCallFailed, {0});
            throw EWireSocketError(code); // reached only for code 0
        }
    }
}

void TWireClient::StartTls()
{
    UpgradeTransport([](std::unique_ptr<Transport> inner) -> std::unique_ptr<Transport> {
        return std::make_unique<TlsTransport>(std::move(inner));
    });
    const uint64_t generation = TransportGeneration();
    TlsTransport* tls = static_cast<TlsTransport*>(transport_.get());
    const uint16_t port = ConnectPort();
    if (!tls->prepare(target_.host, port, TrustedCertificate ? TrustedCertificate(target_.host, port) : ""))
        throw EWireTlsError(tls->failureText());
    IoResult r;
    try {
        r = Transfer([this, generation] {
            // The idle hook may have closed the connection between the steps.
            if (!transport_ || TransportGeneration() != generation)
                return IoResult::failed(kWsaNotSocket);
            return static_cast<TlsTransport*>(transport_.get())->handshake();
        });
    } catch (const EWireSocketError& e) {
        throw EWireSocketError(e.Code, "TLS handshake failed: " + std::string(e.what()));
    }
    if (r.state == IoState::Done) {
        secure_ = true;
        DoStatus("Secure connection: " + tls->protocolName());
        return;
    }
    if (r.error != 0) {
        const std::string text = transport_ && TransportGeneration() == generation ? tls->failureText()
                                                                                    : SocketErrorText(r.error);
        throw EWireSocketError(r.error, "TLS handshake failed: " + text);
    }
    throw tls->failure();
}

void TWireClient::Connect()
{
    if (Connected())
        throw EWireAlreadyConnected(kAlreadyConnectedText);
    ThrowIfCancelled();
    DeadlineScope deadline(*this);
    established_ = false;
    DoStatus("Connecting to " + Host);
    SetBufferChunk(BufferChunk());
    target_ = ParseHostSpec(Host);
    secure_ = false;
    if (!target_.problem.empty())
        throw EWireSocketError(kWsaHostNotFound, target_.problem);
    AllocateSocket(target_);
    try {
        if (!UseNagle)
            CheckSocketResult(transport_->setNoDelay() ? 0 : kSocketCallFailed, {0});

        ConnectAnyAddress(ConnectPort());
        established_ = true;

        if (!LogFile.empty())
            OpenLog();
        DoStatus("Socket Connected");
        if (target_.security == HostSecurity::Implicit)
            StartTls();
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
    secure_ = false;
    established_ = false;
    if (Connected())
        CloseSocket();
    try {
        DoStatus("Disconnected");
    } catch (...) {
    }
}

} // namespace pelko
