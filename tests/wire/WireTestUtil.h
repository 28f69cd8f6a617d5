#pragma once
// Helpers for the protocol tests: in-memory connections and line-end fixes.
#include "wire/MemoryTransport.h"
#include "wire/WireSocket.h"

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace pelko::test {

// "a\nb\n" -> "a\r\nb\r\n" (test texts are written with \n).
inline std::string Crlf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// Connects c to an in-memory peer that sends bytes; returns the transport
// (owned by c) to look at what c wrote.
inline MemoryTransport* AttachMemory(TWireSocket& c, const std::string& bytes, size_t maxChunk = 0)
{
    auto t = std::make_unique<MemoryTransport>(bytes, maxChunk);
    MemoryTransport* raw = t.get();
    c.AttachTransport(std::move(t));
    return raw;
}

struct StatusLog {
    std::vector<std::string> lines;
    void hook(TWireSocket& c)
    {
        c.OnStatus = [this](TWire*, const std::string& s) { lines.push_back(s); };
    }
};

// A loopback port on which nothing listens.
inline int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

} // namespace pelko::test
