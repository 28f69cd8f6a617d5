#pragma once
// A connection whose incoming bytes are given up front and whose outgoing
// bytes are recorded. Used by the tests, the fuzzers and the benchmarks.
// When the bytes run out the peer counts as having closed.
#include "wire/Transport.h"

#include <string>

namespace pelko {

class MemoryTransport : public Transport {
public:
    // maxChunk > 0 limits every receive to that many bytes (to exercise
    // lines that arrive in pieces).
    explicit MemoryTransport(std::string incoming, size_t maxChunk = 0);

    bool open() override { return true; }
    IoResult connect(const sockaddr*, socklen_t) override { return IoResult::done(); }
    IoResult finishConnect() override { return IoResult::done(); }
    IoResult send(const char* data, size_t length) override;
    IoResult recv(char* data, size_t length) override;
    bool setNoDelay() override { return true; }
    int pollFd() const override { return -1; }
    int close() override;

    const std::string& written() const { return written_; }
    size_t receiveCalls() const { return receiveCalls_; }

private:
    std::string incoming_;
    size_t pos_ = 0;
    size_t maxChunk_;
    std::string written_;
    size_t receiveCalls_ = 0;
};

} // namespace pelko
