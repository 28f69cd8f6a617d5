#pragma once
// What the socket layer reads from and writes to: a TCP socket, an in-memory
// byte source, later a TLS session. Transports never block: they answer
// "would block, wait for read/write" and the socket layer does the waiting
// (with its time-out and idle hook), so every transport gets the same
// buffering, line handling and time-outs.
#include <cstddef>
#include <memory>
#include <string>
#include <sys/socket.h>

namespace pelko {

struct HostSpec;

enum class IoState {
    Done,      // bytes moved (or the connection is established)
    WantRead,  // try again once pollFd() is readable
    WantWrite, // try again once pollFd() is writable
    Closed,    // the peer closed the connection (a receive or send of 0)
    Failed     // error holds the table code (see SocketErrors.h)
};

struct IoResult {
    IoState state = IoState::Done;
    size_t bytes = 0;
    int error = 0;

    static IoResult done(size_t n = 0) { return {IoState::Done, n, 0}; }
    static IoResult failed(int code) { return {IoState::Failed, 0, code}; }
};

class Transport {
public:
    virtual ~Transport() = default;

    // Makes the underlying endpoint. false when none can be made; the table
    // code is then in LastSocketError().
    virtual bool open() = 0;

    // Starts a connection; WantRead/WantWrite mean "call finishConnect when
    // ready" (again until it answers Done or Failed).
    virtual IoResult connect(const sockaddr* address, socklen_t length) = 0;
    virtual IoResult finishConnect() = 0;

    virtual IoResult send(const char* data, size_t length) = 0;
    virtual IoResult recv(char* data, size_t length) = 0;

    // Disables the Nagle algorithm; false (LastSocketError set) on failure.
    virtual bool setNoDelay() = 0;

    // The descriptor to poll while waiting; -1 when the transport never waits.
    virtual int pollFd() const = 0;

    // Closes; returns the close call's result (0 or -1).
    virtual int close() = 0;
};

// The transport for a server text (plain TCP for "host" and "host:port").
std::unique_ptr<Transport> MakeTransport(const HostSpec& spec);

} // namespace pelko
