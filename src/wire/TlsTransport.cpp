#include "wire/TlsTransport.h"

#include "wire/HostSpec.h"
#include "wire/SocketErrors.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace pelko {

namespace {

// The reason of the oldest queued OpenSSL error ("wrong version number",
// "tlsv1 alert protocol version", ...); empties the queue.
std::string OpenSslReason()
{
    std::string reason;
    const unsigned long e = ERR_get_error();
    if (e != 0) {
        const char* r = ERR_reason_error_string(e);
        if (r) {
            reason = r;
        } else {
            char buf[256];
            ERR_error_string_n(e, buf, sizeof buf);
            reason = buf;
        }
    }
    ERR_clear_error();
    return reason;
}

constexpr int kTlsHandshakeRecord = 0x16;
constexpr int kTlsAlertRecord = 0x15;

} // namespace

std::string Sha256Fingerprint(X509* certificate)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), md, &length) != 1)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        if (i)
            out += ':';
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 15];
    }
    return out;
}

// Moves TLS records through the inner transport, translating its answers
// into the BIO's retry flags.
struct TlsBio {
    static TlsTransport* Owner(BIO* b) { return static_cast<TlsTransport*>(BIO_get_data(b)); }

    static int Write(BIO* b, const char* data, int length)
    {
        BIO_clear_retry_flags(b);
        TlsTransport* self = Owner(b);
        if (!self || length <= 0)
            return 0;
        const IoResult r = self->inner_->send(data, static_cast<size_t>(length));
        return Answer(b, self, r);
    }

    static int Read(BIO* b, char* data, int length)
    {
        BIO_clear_retry_flags(b);
        TlsTransport* self = Owner(b);
        if (!self || length <= 0)
            return 0;
        const IoResult r = self->inner_->recv(data, static_cast<size_t>(length));
        if (r.state == IoState::Done && r.bytes > 0 && self->firstByte_ < 0)
            self->firstByte_ = static_cast<unsigned char>(data[0]);
        return Answer(b, self, r);
    }

    static int Answer(BIO* b, TlsTransport* self, const IoResult& r)
    {
        switch (r.state) {
        case IoState::Done:
            return static_cast<int>(r.bytes);
        case IoState::WantRead:
            BIO_set_retry_read(b);
            return -1;
        case IoState::WantWrite:
            BIO_set_retry_write(b);
            return -1;
        case IoState::Closed:
            self->innerClosed_ = true;
            return 0;
        case IoState::Failed:
            self->innerError_ = r.error != 0 ? r.error : kWsaConnReset;
            return -1;
        }
        return -1;
    }

    static long Ctrl(BIO* b, int cmd, long, void*)
    {
        switch (cmd) {
        case BIO_CTRL_FLUSH:
            return 1; // nothing is held back here
        case BIO_CTRL_EOF: {
            TlsTransport* self = Owner(b);
            return self && self->innerClosed_ ? 1 : 0;
        }
        default:
            return 0;
        }
    }

    static int Create(BIO* b)
    {
        BIO_set_init(b, 1);
        return 1;
    }

    static const BIO_METHOD* Method()
    {
        // Made once for the process and kept (OpenSSL holds no other state in it).
        static BIO_METHOD* method = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "pelko transport");
            if (m) {
                BIO_meth_set_write(m, Write);
                BIO_meth_set_read(m, Read);
                BIO_meth_set_ctrl(m, Ctrl);
                BIO_meth_set_create(m, Create);
            }
            return m;
        }();
        return method;
    }
};

TlsTransport::TlsTransport(std::unique_ptr<Transport> inner) : inner_(std::move(inner)) {}

TlsTransport::~TlsTransport()
{
    close();
    if (ssl_)
        SSL_free(ssl_); // frees the BIO as well
    if (ctx_)
        SSL_CTX_free(ctx_);
}

int TlsTransport::VerifyChain(X509_STORE_CTX* store, void* arg)
{
    TlsTransport* self = static_cast<TlsTransport*>(arg);
    self->presented_ = Sha256Fingerprint(X509_STORE_CTX_get0_cert(store));
    if (!self->pinned_.empty() && self->presented_ == self->pinned_) {
        // The very certificate the user trusted for this server: its chain,
        // name and dates were what the user saw when trusting it.
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    return X509_verify_cert(store);
}

EWireTlsError TlsTransport::failure() const
{
    if (refused_.empty())
        return EWireTlsError(failure_);
    return EWireTlsError(failure_, {serverName_, port_, refused_, changed_});
}

bool TlsTransport::prepare(const std::string& serverName, uint16_t port, const std::string& pinned)
{
    serverName_ = serverName;
    port_ = port;
    pinned_ = pinned;
    ERR_clear_error();
    const BIO_METHOD* method = TlsBio::Method();
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (!method || !ctx_) {
        failure_ = "TLS cannot be set up: " + OpenSslReason();
        return false;
    }
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx_, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx_, VerifyChain, this);
    // A missing store is not an error here: the certificate check then fails
    // with "unable to get local issuer certificate", which says it plainly.
    SSL_CTX_set_default_verify_paths(ctx_);
    ERR_clear_error();

    ssl_ = SSL_new(ctx_);
    if (!ssl_) {
        failure_ = "TLS cannot be set up: " + OpenSslReason();
        return false;
    }
    bool named = true;
    if (serverName.find('\0') != std::string::npos) {
        named = false;
    } else if (IsIpLiteral(serverName)) {
        // No SNI for addresses; the certificate must list the address itself.
        const std::string address = serverName.substr(0, serverName.find('%'));
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), address.c_str()) == 1;
    } else {
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set_tlsext_host_name(ssl_, serverName.c_str()) == 1 && SSL_set1_host(ssl_, serverName.c_str()) == 1;
    }
    if (!named) {
        failure_ = "TLS cannot be set up for the server name \"" + serverName + "\".";
        ERR_clear_error();
        return false;
    }
    BIO* bio = BIO_new(method);
    if (!bio) {
        failure_ = "TLS cannot be set up: " + OpenSslReason();
        return false;
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio); // one reference, owned by the session
    SSL_set_connect_state(ssl_);
    return true;
}

void TlsTransport::resetInnerState()
{
    innerClosed_ = false;
    innerError_ = 0;
}

IoResult TlsTransport::handshake()
{
    if (!ssl_ || broken_ || closed_)
        return IoResult::failed(kWsaNotConnected);
    if (established_)
        return IoResult::done();
    ERR_clear_error();
    resetInnerState();
    const int ret = SSL_do_handshake(ssl_);
    if (ret == 1) {
        established_ = true;
        return IoResult::done();
    }
    return afterError(ret, true);
}

IoResult TlsTransport::afterError(int ret, bool handshaking)
{
    const int err = SSL_get_error(ssl_, ret);
    if (err == SSL_ERROR_WANT_READ) {
        ERR_clear_error();
        return {IoState::WantRead, 0, 0};
    }
    if (err == SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        return {IoState::WantWrite, 0, 0};
    }
    if (innerError_ != 0) {
        // The connection underneath failed: report it as the socket error it is.
        ERR_clear_error();
        broken_ = true;
        failure_ = SocketErrorText(innerError_);
        SetLastSocketError(innerError_);
        return IoResult::failed(innerError_);
    }
    if (handshaking && firstByte_ >= 0 && firstByte_ != kTlsHandshakeRecord && firstByte_ != kTlsAlertRecord) {
        // Not a TLS record: a plain greeting (or anything else) came back.
        ERR_clear_error();
        broken_ = true;
        failure_ = kNotTlsText;
        return IoResult::failed(0);
    }
    if (err == SSL_ERROR_ZERO_RETURN || innerClosed_) {
        ERR_clear_error();
        if (!handshaking) {
            // From now on the session can only say that the peer has gone,
            // as a plain connection would.
            peerClosed_ = true;
            return {IoState::Closed, 0, 0};
        }
        broken_ = true;
        failure_ = "TLS handshake failed: the server closed the connection.";
        return IoResult::failed(0);
    }

    broken_ = true;
    const long verify = SSL_get_verify_result(ssl_);
    std::string reason = OpenSslReason();
    if (reason.empty())
        reason = "the server's answer was not understood.";
    if (!handshaking)
        throw EWireTlsError("TLS error: " + reason);
    if (verify != X509_V_OK) {
        refused_ = presented_;
        changed_ = !pinned_.empty();
        if (changed_)
            failure_ = "TLS certificate problem: the server's certificate has changed since you trusted it. "
                       "Its SHA-256 fingerprint is now " +
                       presented_;
        else if (verify == X509_V_ERR_HOSTNAME_MISMATCH || verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
            failure_ = "TLS certificate problem: the certificate does not match host name " + serverName_;
        else
            failure_ = std::string("TLS certificate problem: ") + X509_verify_cert_error_string(verify);
    } else {
        failure_ = "TLS handshake failed: " + reason;
    }
    return IoResult::failed(0);
}

std::string TlsTransport::protocolName() const
{
    return ssl_ && established_ ? SSL_get_version(ssl_) : "";
}

IoResult TlsTransport::send(const char* data, size_t length)
{
    if (peerClosed_ && !closed_)
        return {IoState::Closed, 0, 0};
    if (!established_ || broken_ || closed_)
        return IoResult::failed(kWsaNotConnected);
    if (length == 0)
        return IoResult::done();
    ERR_clear_error();
    resetInnerState();
    size_t written = 0;
    const int ret = SSL_write_ex(ssl_, data, length, &written);
    if (ret == 1)
        return IoResult::done(written);
    return afterError(ret, false);
}

IoResult TlsTransport::recv(char* data, size_t length)
{
    if (peerClosed_ && !closed_)
        return {IoState::Closed, 0, 0};
    if (!established_ || broken_ || closed_)
        return IoResult::failed(kWsaNotConnected);
    ERR_clear_error();
    resetInnerState();
    size_t got = 0;
    const int ret = SSL_read_ex(ssl_, data, length, &got);
    if (ret == 1)
        return IoResult::done(got);
    return afterError(ret, false);
}

int TlsTransport::close()
{
    if (closed_)
        return 0;
    closed_ = true;
    if (ssl_ && established_ && !broken_ && !peerClosed_) {
        // One try: a peer that has gone, or a full send buffer, is no reason
        // to wait at close.
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    return inner_ ? inner_->close() : 0;
}

} // namespace pelko
