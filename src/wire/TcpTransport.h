#pragma once
// A non-blocking IPv4 TCP socket. SIGPIPE is never raised (MSG_NOSIGNAL).
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
    int fd_ = -1;
};

} // namespace pelko
