#pragma once
// A non-blocking TCP socket. SIGPIPE is never raised (MSG_NOSIGNAL).
// open() makes an IPv4 socket; a connect to an address of another family,
// or a second connect after a failed one, makes a fresh socket of the right
// family first (a socket whose connect failed cannot be used again), keeping
// the no-delay option.
#include "wire/Transport.h"

namespace pelko {

class TcpTransport : public Transport {
public:
    TcpTransport() = default;
    ~TcpTransport() override;
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    bool open() override;
    IoResult connect(const sockaddr* address, socklen_t length) override;
    IoResult finishConnect() override;
    IoResult send(const char* data, size_t length) override;
    IoResult recv(char* data, size_t length) override;
    bool setNoDelay() override;
    int pollFd() const override { return fd_; }
    int close() override;

private:
    bool makeSocket(int family);

    int fd_ = -1;
    int family_ = 0;
    bool connectTried_ = false;
    bool noDelay_ = false;
};

} // namespace pelko
