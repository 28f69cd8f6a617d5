#include "session/CertificateProbe.h"

#include "wire/HostSpec.h"
#include "wire/Imap.h"
#include "wire/Pop3.h"

#include <exception>

namespace pelko {

namespace {

// Raised from the status event once the handshake is through: the login
// that would follow is not wanted here.
struct HandshakeDone {};

// The handshake as the protocol's client takes it (a STARTTLS step is the
// protocol's own).
template <class Client>
CertificateProbe ProbeWith(const std::string& host, int timeoutMs,
                           const std::function<std::string(const std::string&, uint16_t)>& trusted)
{
    CertificateProbe probe;
    Client client;
    client.Host = host;
    client.Timeout = timeoutMs;
    client.TrustedCertificate = trusted;
    client.OnStatus = [](TWire*, const std::string& text) {
        if (text.rfind("Secure connection: ", 0) == 0)
            throw HandshakeDone{};
    };
    try {
        client.Connect();
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

} // namespace

CertificateProbe ProbeCertificate(const std::string& host, int timeoutMs,
                                  const std::function<std::string(const std::string&, uint16_t)>& trusted)
{
    if (ParseHostSpec(host).protocol == HostProtocol::Imap)
        return ProbeWith<TWireIMAP>(host, timeoutMs, trusted);
    return ProbeWith<TWirePOP3>(host, timeoutMs, trusted);
}

} // namespace pelko
