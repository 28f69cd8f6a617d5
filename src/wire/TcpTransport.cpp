#include "wire/TcpTransport.h"

#include "wire/HostSpec.h"
#include "wire/SocketErrors.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

namespace pelko {

namespace {

IoResult FailedFromErrno()
{
    const int code = WsaCodeFromErrno(errno);
    SetLastSocketError(code);
    return IoResult::failed(code);
}

} // namespace

TcpTransport::~TcpTransport()
{
    close();
}

bool TcpTransport::makeSocket(int family)
{
    close();
    fd_ = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        SetLastSocketError(WsaCodeFromErrno(errno));
        return false;
    }
    family_ = family;
    connectTried_ = false;
    if (noDelay_ && !setNoDelay())
        return false;
    return true;
}

bool TcpTransport::open()
{
    if (fd_ >= 0)
        return true;
    return makeSocket(AF_INET);
}

IoResult TcpTransport::connect(const sockaddr* address, socklen_t length)
{
    if (fd_ < 0 || connectTried_ || address->sa_family != family_) {
        if (!makeSocket(address->sa_family))
            return IoResult::failed(LastSocketError());
    }
    connectTried_ = true;
    for (;;) {
        if (::connect(fd_, address, length) == 0)
            return IoResult::done();
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS)
            return {IoState::WantWrite, 0, 0};
        return FailedFromErrno();
    }
}

IoResult TcpTransport::finishConnect()
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return FailedFromErrno();
    if (err == 0)
        return IoResult::done();
    if (err == EINPROGRESS || err == EALREADY)
        return {IoState::WantWrite, 0, 0};
    errno = err;
    return FailedFromErrno();
}

IoResult TcpTransport::send(const char* data, size_t length)
{
    for (;;) {
        const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (n > 0)
            return IoResult::done(static_cast<size_t>(n));
        if (n == 0)
            return {IoState::Closed, 0, 0};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoState::WantWrite, 0, 0};
        return FailedFromErrno();
    }
}

IoResult TcpTransport::recv(char* data, size_t length)
{
    for (;;) {
        const ssize_t n = ::recv(fd_, data, length, 0);
        if (n > 0)
            return IoResult::done(static_cast<size_t>(n));
        if (n == 0)
            return {IoState::Closed, 0, 0};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoState::WantRead, 0, 0};
        return FailedFromErrno();
    }
}

bool TcpTransport::setNoDelay()
{
    noDelay_ = true;
    const int on = 1;
    if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
        return true;
    SetLastSocketError(WsaCodeFromErrno(errno));
    return false;
}

int TcpTransport::close()
{
    if (fd_ < 0)
        return 0;
    const int r = ::close(fd_);
    fd_ = -1;
    if (r != 0)
        SetLastSocketError(WsaCodeFromErrno(errno));
    return r == 0 ? 0 : -1;
}

std::unique_ptr<Transport> MakeTransport(const HostSpec& /*spec*/)
{
    return std::make_unique<TcpTransport>();
}

} // namespace pelko
