#pragma once
// A message kept in a file (CR LF or LF line ends, no dot-stuffing, no end
// line), read through the same parser as a fetched one.
#include "wire/Transport.h"
#include "wire/WireMessage.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace pelko {

// The bytes a POP3 server would send for the file: CR LF line ends, a "."
// doubled at the start of a line, the end line ".".
std::string StoredMessageToWire(const std::string& fileBytes);

// Parses fileBytes into m (attachments go to temporary files as usual).
// Raises what the parser raises ("Boundary error", file errors).
void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m);

// The file of a stored message cannot be opened or read; what() is the
// system's reason ("No such file or directory").
class EStoredFileRead : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the message in the file at path into m, reading the file a block at
// a time: memory stays the same whatever its size. Raises what the parser
// raises, and EStoredFileRead.
void ParseStoredFile(const std::string& path, TWireMessage& m);

// A connection whose peer sends a stored message as a server would (see
// StoredMessageToWire), translated while it is read from a descriptor.
// The descriptor is closed with the transport. A read error ends the bytes
// as the end of the file would, and leaves its errno in *readError.
class StoredFileTransport : public Transport {
public:
    explicit StoredFileTransport(int fd, int* readError = nullptr);
    ~StoredFileTransport() override;
    StoredFileTransport(const StoredFileTransport&) = delete;
    StoredFileTransport& operator=(const StoredFileTransport&) = delete;

    bool open() override { return true; }
    IoResult connect(const sockaddr*, socklen_t) override { return IoResult::done(); }
    IoResult finishConnect() override { return IoResult::done(); }
    IoResult send(const char*, size_t length) override { return IoResult::done(length); }
    IoResult recv(char* data, size_t length) override;
    bool setNoDelay() override { return true; }
    int pollFd() const override { return -1; }
    int close() override;

private:
    bool refill(); // false at the end of the file or on a read error
    // Passes bytes on: into data while there is room, the rest into spill_.
    void put(char* data, size_t length, size_t& n, const char* bytes, size_t count);

    int fd_;
    std::unique_ptr<char[]> in_;
    size_t inPos_ = 0, inEnd_ = 0;
    bool lineStart_ = true; // the next byte of the file starts a line
    bool lastWasCR_ = false; // the last byte passed on in this line was a CR
    bool finished_ = false;  // the end line has been produced
    int* readError_;
    std::string spill_; // produced bytes that did not fit the last receive
    size_t spillPos_ = 0;
};

} // namespace pelko
