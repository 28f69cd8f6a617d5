#pragma once
// TLS (OpenSSL) over another transport, usually the TCP connection already
// made. Like every transport it never blocks: the handshake and the record
// I/O answer WantRead/WantWrite and the socket layer waits with its time-out
// and idle hook. The bytes travel through the inner transport, so MSG_NOSIGNAL
// and the error numbering stay those of the plain connection.
//
// Trust: the system's CA store through OpenSSL's default paths, which honour
// SSL_CERT_FILE and SSL_CERT_DIR. The context is made for each connection, so
// a CA store updated while the program runs is seen at the next check.
// TLS 1.2 is the oldest version accepted; the server certificate must chain to
// a trusted root and match the host name (or IP address) written by the user.
// A certificate the user has trusted for this server (its SHA-256 fingerprint,
// see prepare) is taken as it is: a home server's own certificate often names
// another host, so the fingerprint, not the name, is what is trusted there.
// Any other certificate is checked as above; when it fails while a pin is on
// record, the refusal says that the certificate has changed.
#include "wire/Transport.h"
#include "wire/WireErrors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_st X509;
typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace pelko {

// The server's certificate, when it was the reason a TLS login failed: what
// the user needs to choose to trust it (see TWireClient::TrustedCertificate).
struct RefusedCertificate {
    std::string host; // as connected to, without brackets
    uint16_t port = 0;
    std::string fingerprint; // see Sha256Fingerprint
    bool changed = false;    // a certificate was trusted for this server, and this is another one
};

// A TLS failure: the certificate, the handshake, or a broken record stream.
class EWireTlsError : public EWireException {
public:
    explicit EWireTlsError(const std::string& message, RefusedCertificate refused = {})
        : EWireException(message), Refused(std::move(refused))
    {
    }
    [[noreturn]] void RaiseWithMessage(const std::string& message) const override
    {
        throw EWireTlsError(message, Refused);
    }
    // Filled when the server's certificate was refused (fingerprint not
    // empty); empty for every other failure.
    RefusedCertificate Refused;
};

// "AB:01:..." (32 bytes in upper-case hex, colons between): the form the
// fingerprint is shown, stored and compared in. Empty when it cannot be made.
std::string Sha256Fingerprint(X509* certificate);

// The failure text when what came back to a TLS hello was no TLS at all (a
// plain POP3 greeting, say): most likely a plain port under "pop3s://".
inline const std::string kNotTlsText =
    "TLS handshake failed: the server did not answer in TLS: is this the right port?";

inline const std::string kNoStlsText = "The server does not offer STLS; the password was not sent.";

class TlsTransport : public Transport {
public:
    explicit TlsTransport(std::unique_ptr<Transport> inner);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // Sets up the session for serverName: SNI (names only, not IP literals)
    // and the name or address the certificate must carry. pinned: the
    // fingerprint of the certificate the user trusts for this server and
    // port (empty: none). false when OpenSSL cannot make the session;
    // failureText() says why.
    bool prepare(const std::string& serverName, uint16_t port = 0, const std::string& pinned = {});

    // One step of the client handshake: Done when finished, WantRead or
    // WantWrite to be called again once ready, Failed otherwise. A failure
    // of the connection underneath leaves its table code in
    // IoResult::error; a TLS failure has error 0 and failureText() explains.
    IoResult handshake();
    const std::string& failureText() const { return failure_; }
    // The failure as the exception to raise (with the refused certificate's
    // fingerprint when the certificate was the reason).
    EWireTlsError failure() const;
    // "TLSv1.3" and the like, once the handshake is done.
    std::string protocolName() const;

    bool open() override { return inner_->open(); }
    IoResult connect(const sockaddr* address, socklen_t length) override { return inner_->connect(address, length); }
    IoResult finishConnect() override { return inner_->finishConnect(); }
    // Application data. A peer that closes (with or without the TLS closing
    // alert) counts as Closed; a damaged record stream raises EWireTlsError.
    IoResult send(const char* data, size_t length) override;
    IoResult recv(char* data, size_t length) override;
    bool setNoDelay() override { return inner_->setNoDelay(); }
    int pollFd() const override { return inner_->pollFd(); }
    // Sends the closing alert when the session is sound (without waiting
    // for the answer), then closes the connection underneath.
    int close() override;

private:
    friend struct TlsBio;
    static int VerifyChain(X509_STORE_CTX* store, void* self);
    IoResult afterError(int ret, bool handshaking);
    void resetInnerState();

    std::unique_ptr<Transport> inner_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string serverName_;
    uint16_t port_ = 0;
    std::string failure_;
    std::string pinned_;    // the fingerprint trusted for this server, if any
    std::string presented_; // the server's certificate, once seen
    std::string refused_;   // presented_, when it was the reason of the failure
    bool changed_ = false;
    // The first byte the server sent in the handshake (a TLS record starts
    // with 0x16, or 0x15 for an alert).
    int firstByte_ = -1;
    bool established_ = false;
    bool broken_ = false;
    bool closed_ = false;
    bool peerClosed_ = false; // seen while exchanging application data
    // What the inner transport said during the last TLS call.
    bool innerClosed_ = false;
    int innerError_ = 0;
};

} // namespace pelko
