#pragma once
// A one-connection server like ScriptedPeer (same script steps) that also
// speaks TLS: the step "TLS" runs the server side of a handshake with a test
// certificate, and every step after it travels encrypted. The step "TAKE"
// waits for client bytes of any kind (a ClientHello, say) and reads them. It listens on the
// address it is given (127.0.0.1, 127.0.0.2, ::1), so tests can reach it
// under an address its certificate does not name, or over IPv6. The client
// bytes it records are the plain text (decrypted after "TLS").
#include "ScriptedPeer.h"
#include "TestCertificates.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct bio_st BIO;

namespace pelko {

struct TlsPeerOptions {
    std::string address = "127.0.0.1";
    TestCert cert = TestCert::Trusted;
    // Highest protocol the peer accepts (0: no limit); e.g. TLS1_1_VERSION
    // to play an outdated server.
    int maxVersion = 0;
};

class TlsPeer : public PeerRecord {
public:
    explicit TlsPeer(const std::string& scriptText, TlsPeerOptions options = {});
    ~TlsPeer();

    // Whether a listening socket can be made on address (false: skip).
    static bool CanListenOn(const std::string& address);

    int port() const { return port_; }
    // Whether the server side of the handshake completed.
    bool handshakeDone() const { return handshakeDone_; }

private:
    struct Step {
        enum Kind { Script, Tls, Take } kind = Script;
        PeerStep step{PeerStep::Send, ""};
    };

    void run();
    bool startTls(int fd);
    bool readLine(int fd, std::string& line);
    // One read of client bytes (plain or decrypted) into pending_; false when
    // the client closed or the peer is stopped.
    bool readSome(int fd);
    void sendAll(int fd, const std::string& bytes);
    bool rawSend(int fd, const char* data, size_t length);
    bool flushTls(int fd);
    bool waitReadable(int fd);

    std::vector<Step> steps_;
    TlsPeerOptions options_;
    int listenFd_ = -1;
    int port_ = 0;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;  // network bytes for the session
    BIO* out_ = nullptr; // the session's bytes for the network
    std::atomic<bool> handshakeDone_{false};
    std::string pending_;
};

} // namespace pelko
