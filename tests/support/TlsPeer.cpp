#include "TlsPeer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pelko {

namespace {

// A listening socket on address (port chosen by the system); -1 on failure.
int Listen(const std::string& address, int& port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo* ai = nullptr;
    if (::getaddrinfo(address.c_str(), "0", &hints, &ai) != 0 || !ai)
        return -1;
    const int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const bool ok = fd >= 0 && ::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 4) == 0;
    ::freeaddrinfo(ai);
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    char service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), len, nullptr, 0, service, sizeof service, NI_NUMERICSERV);
    port = std::atoi(service);
    return fd;
}

} // namespace

bool TlsPeer::CanListenOn(const std::string& address)
{
    int port = 0;
    const int fd = Listen(address, port);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

TlsPeer::TlsPeer(const std::string& scriptText, TlsPeerOptions options) : options_(std::move(options))
{
    size_t pos = 0;
    while (pos <= scriptText.size()) {
        size_t nl = scriptText.find('\n', pos);
        if (nl == std::string::npos)
            nl = scriptText.size();
        const std::string line = scriptText.substr(pos, nl - pos);
        pos = nl + 1;
        if (line == "TLS" || line == "TAKE") {
            steps_.push_back({line == "TLS" ? Step::Tls : Step::Take, {PeerStep::Send, ""}});
            continue;
        }
        for (const PeerStep& s : ScriptedPeer::ParseScript(line))
            steps_.push_back({Step::Script, s});
    }

    const TestIdentity& id = TestCertificate(options_.cert);
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (!ctx_ || SSL_CTX_use_certificate(ctx_, id.cert) != 1 || SSL_CTX_use_PrivateKey(ctx_, id.key) != 1)
        throw std::runtime_error("tls peer: no context");
    if (options_.maxVersion != 0) {
        // An outdated server: allow what the default security level forbids.
        SSL_CTX_set_security_level(ctx_, 0);
        SSL_CTX_set_cipher_list(ctx_, "DEFAULT@SECLEVEL=0");
        SSL_CTX_set_min_proto_version(ctx_, 0);
        SSL_CTX_set_max_proto_version(ctx_, options_.maxVersion);
    }

    listenFd_ = Listen(options_.address, port_);
    if (listenFd_ < 0)
        throw std::runtime_error("tls peer: cannot listen on " + options_.address);
    thread_ = std::thread([this] { run(); });
}

TlsPeer::~TlsPeer()
{
    stopThread();
    if (ssl_)
        SSL_free(ssl_);
    if (ctx_)
        SSL_CTX_free(ctx_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

bool TlsPeer::waitReadable(int fd)
{
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            return true;
    }
    return false;
}

bool TlsPeer::rawSend(int fd, const char* data, size_t length)
{
    size_t off = 0;
    while (off < length) {
        const ssize_t n = ::send(fd, data + off, length - off, MSG_NOSIGNAL);
        if (n > 0) {
            off += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && !stop_) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        return false; // the client went away
    }
    return true;
}

bool TlsPeer::flushTls(int fd)
{
    char buf[16384];
    while (BIO_ctrl_pending(out_) > 0) {
        const int n = BIO_read(out_, buf, sizeof buf);
        if (n <= 0 || !rawSend(fd, buf, static_cast<size_t>(n)))
            return false;
    }
    return true;
}

bool TlsPeer::startTls(int fd)
{
    ssl_ = SSL_new(ctx_);
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_accept_state(ssl_);
    if (!pending_.empty()) {
        BIO_write(in_, pending_.data(), static_cast<int>(pending_.size()));
        pending_.clear();
    }
    for (;;) {
        const int r = SSL_do_handshake(ssl_);
        const bool sent = flushTls(fd);
        if (r == 1) {
            handshakeDone_ = true;
            return sent;
        }
        if (SSL_get_error(ssl_, r) != SSL_ERROR_WANT_READ || !sent || !waitReadable(fd)) {
            ERR_clear_error();
            return false;
        }
        char buf[16384];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        BIO_write(in_, buf, static_cast<int>(n));
    }
}

bool TlsPeer::readSome(int fd)
{
    char buf[4096];
    for (;;) {
        ssize_t n = 0;
        if (handshakeDone_) {
            const int r = SSL_read(ssl_, buf, sizeof buf);
            flushTls(fd);
            if (r > 0) {
                n = r;
            } else if (SSL_get_error(ssl_, r) == SSL_ERROR_WANT_READ) {
                if (!waitReadable(fd))
                    return false;
                char raw[16384];
                const ssize_t got = ::recv(fd, raw, sizeof raw, 0);
                if (got <= 0)
                    return false;
                BIO_write(in_, raw, static_cast<int>(got));
                continue;
            } else {
                ERR_clear_error();
                return false; // closing alert or a broken record
            }
        } else {
            if (!waitReadable(fd))
                return false;
            n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
        }
        {
            record(buf, static_cast<size_t>(n));
        }
        pending_.append(buf, static_cast<size_t>(n));
        return true;
    }
}

bool TlsPeer::readLine(int fd, std::string& line)
{
    return ReadLineWith(pending_, line, [this, fd] { return readSome(fd); });
}

void TlsPeer::sendAll(int fd, const std::string& bytes)
{
    if (!handshakeDone_) {
        rawSend(fd, bytes.data(), bytes.size());
        return;
    }
    if (!bytes.empty())
        SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())); // into memory: always whole
    flushTls(fd);
}

void TlsPeer::run()
{
    int fd = -1;
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            break;
        }
    }
    if (fd < 0) {
        done_ = true;
        return;
    }
    const PeerLink link{[this, fd](const std::string& bytes) { sendAll(fd, bytes); },
                        [this, fd](std::string& line) { return readLine(fd, line); },
                        [this](const std::string& problem) { note(problem); }, stop_};
    bool open = true;
    for (const Step& s : steps_) {
        if (stop_ || !open)
            break;
        if (s.kind == Step::Tls) {
            if (!startTls(fd)) {
                note("TLS handshake failed");
                open = false;
            }
            continue;
        }
        if (s.kind == Step::Take) {
            open = readSome(fd);
            pending_.clear();
            continue;
        }
        if (!PlayPeerStep(s.step, link)) {
            if (s.step.kind == PeerStep::Close) {
                ::close(fd);
                fd = -1;
            }
            open = false;
        }
    }
    if (fd >= 0) {
        std::string line;
        while (open && readLine(fd, line))
            note("unexpected client line \"" + line + "\"");
        if (open && !pending_.empty())
            note("unterminated client bytes \"" + pending_ + "\"");
        ::close(fd);
    }
    done_ = true;
}

} // namespace pelko
