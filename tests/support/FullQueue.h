#pragma once
// A loopback listener whose queue is full: further connects get no answer,
// so a client's connect stalls until it gives up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace pelko {

class FullQueue {
public:
    FullQueue()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ok_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 0) == 0 &&
              ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0;
        port_ = ntohs(a.sin_port);
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok_ = ok_ && ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~FullQueue()
    {
        ::close(filler_);
        ::close(listener_);
    }
    FullQueue(const FullQueue&) = delete;
    FullQueue& operator=(const FullQueue&) = delete;

    bool ok() const { return ok_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1, filler_ = -1, port_ = 0;
    bool ok_ = false;
};

} // namespace pelko
