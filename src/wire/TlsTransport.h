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
#include "wire/Transport.h"
#include "wire/WireErrors.h"

#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace pelko {

// A TLS failure: the certificate, the handshake, or a broken record stream.
class EWireTlsError : public EWireException {
public:
    explicit EWireTlsError(const std::string& message) : EWireException(message) {}
    [[noreturn]] void RaiseWithMessage(const std::string& message) const override { throw EWireTlsError(message); }
};

inline const std::string kNoStlsText = "The server does not offer STLS; the password was not sent.";

class TlsTransport : public Transport {
public:
    explicit TlsTransport(std::unique_ptr<Transport> inner);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // Sets up the session for serverName: SNI (names only, not IP literals)
    // and the name or address the certificate must carry. false when OpenSSL
    // cannot make the session; failureText() says why.
    bool prepare(const std::string& serverName);

    // One step of the client handshake: Done when finished, WantRead or
    // WantWrite to be called again once ready, Failed otherwise. A failure
    // of the connection underneath leaves its table code in
    // IoResult::error; a TLS failure has error 0 and failureText() explains.
    IoResult handshake();
    const std::string& failureText() const { return failure_; }
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
    IoResult afterError(int ret, bool handshaking);
    void resetInnerState();

    std::unique_ptr<Transport> inner_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string serverName_;
    std::string failure_;
    bool established_ = false;
    bool broken_ = false;
    bool closed_ = false;
    bool peerClosed_ = false; // seen while exchanging application data
    // What the inner transport said during the last TLS call.
    bool innerClosed_ = false;
    int innerError_ = 0;
};

} // namespace pelko
