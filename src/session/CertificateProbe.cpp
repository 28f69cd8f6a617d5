#include "session/CertificateProbe.h"

#include "wire/Pop3.h"

#include <exception>

namespace pelko {

namespace {

// Raised from the status event once the handshake is through: the login
// that would follow is not wanted here.
struct HandshakeDone {};

} // namespace

CertificateProbe ProbeCertificate(const std::string& host, int timeoutMs,
                                  const std::function<std::string(const std::string&, uint16_t)>& trusted)
{
    CertificateProbe probe;
    TWirePOP3 pop;
    pop.Host = host;
    pop.Timeout = timeoutMs;
    pop.TrustedCertificate = trusted;
    pop.OnStatus = [](TWire*, const std::string& text) {
        if (text.rfind("Secure connection: ", 0) == 0)
            throw HandshakeDone{};
    };
    try {
        pop.Connect();
        probe.result = CertificateProbe::NoTls; // not reached for a TLS host
    } catch (const HandshakeDone&) {
        probe.result = CertificateProbe::Trusted;
    } catch (const EWireTlsError& e) {
        probe.text = e.what();
        probe.refused = e.Refused;
        probe.result = e.Refused.fingerprint.empty() ? CertificateProbe::Failed : CertificateProbe::Refused;
    } catch (const std::exception& e) {
        probe.text = e.what();
        probe.result = CertificateProbe::Failed;
    }
    return probe;
}

} // namespace pelko
