#pragma once
// Asks a TLS server for its certificate without signing in: is it trusted
// already, or refused (and then which one it is)?
#include "wire/TlsTransport.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pelko {

struct CertificateProbe {
    enum Result {
        Trusted,  // the handshake went through
        Refused,  // refused: `refused` tells which certificate
        Failed,   // no handshake (text tells why)
        NoTls,    // the connection went through without TLS
    };
    Result result = Failed;
    std::string text; // the failure's or the refusal's text
    RefusedCertificate refused;
};

// Connects to host (an account's server form) with the time-out, takes the
// handshake and closes; trusted gives the fingerprint the user trusts.
CertificateProbe ProbeCertificate(const std::string& host, int timeoutMs,
                                  const std::function<std::string(const std::string&, uint16_t)>& trusted);

} // namespace pelko
