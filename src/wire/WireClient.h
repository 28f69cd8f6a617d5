#pragma once
// TWireClient: connects to Host (Port, or what the host text says: a port,
// an IPv6 literal, TLS from the start; see HostSpec.h) and disconnects.
#include "wire/HostResolve.h"
#include "wire/HostSpec.h"
#include "wire/WireSocket.h"

#include <functional>
#include <string>
#include <vector>

namespace pelko {

class TWireClient : public TWireSocket {
public:
    TWireClient() = default;
    ~TWireClient() override;

    std::string Host;     // server text as the account holds it
    std::string UserID;   // credentials, published by the POP3 client
    std::string Password;

    // Name to addresses; the system's resolver unless replaced (tests hand
    // in address lists here, as they hand in transports to TransportFactory).
    std::function<std::vector<ResolvedAddress>(const std::string& host, uint16_t port)> Resolver =
        ResolveAddresses;

    // The SHA-256 fingerprint of the certificate the user trusts for this
    // server (host as connected to, without brackets; port), or empty; asked
    // at each TLS handshake (see TlsTransport).
    std::function<std::string(const std::string& host, uint16_t port)> TrustedCertificate;

    // Resolves the host (the idle event keeps running and the time-out
    // applies), tries each of its addresses in turn, and for "pop3s://"
    // completes the TLS handshake before "Socket Connected" is followed by
    // anything else. All of it runs under one deadline (see DeadlineScope);
    // an address given up on after a time-out starts the time again for the
    // next one.
    virtual void Connect();
    // Never raises: every failure inside is swallowed.
    void Disconnect() override;

    // True while the connection runs over TLS.
    bool Secure() const { return secure_; }


protected:
    // Stops the events from reaching an owner that is going away.
    void UnhookEvents();
    // What the last Connect made of Host.
    const HostSpec& Target() const { return target_; }
    // The port the last Connect went to: the one in Host, else Port.
    uint16_t ConnectPort() const { return static_cast<uint16_t>(target_.hasPort ? target_.port : (Port & 0xFFFF)); }
    // Runs the TLS handshake over the connection as it is (after "STLS" or
    // straight after the TCP connect). Certificate and handshake problems
    // raise EWireTlsError; a failing connection EWireSocketError. The
    // connection is left as it is on failure: the caller disconnects.
    void StartTls();

private:
    void ConnectAnyAddress(uint16_t port);

    HostSpec target_;
    bool secure_ = false;
};

} // namespace pelko
