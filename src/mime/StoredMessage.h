#pragma once
// A message kept in a file (CR LF or LF line ends, no dot-stuffing, no end
// line), read straight into the MIME reader.
#include "mime/MessageParser.h"
#include "mime/WireMessage.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace pelko {

// The file of a stored message cannot be opened or read; what() is the
// system's reason ("No such file or directory").
class EStoredFileRead : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest line a stored message may have; a longer one raises
// EMessageFormat (LineTooLongText), so a file without line ends cannot take
// all the memory.
constexpr size_t kMaxStoredLine = size_t(1) << 20;

// The lines of a stored message: each ends at an LF, which takes one CR
// before it along; a lone CR stays in its line; a last line without an LF
// counts as a line. Read from memory or from a descriptor a block at a time
// (memory stays the same whatever the file's size).
class StoredMessageLines : public MessageLines {
public:
    // The bytes must outlive the object.
    explicit StoredMessageLines(std::string_view bytes) : buf_(bytes) {}
    // The descriptor is closed with the object. A read error ends the lines
    // as the end of the file would; ReadError() then gives its errno.
    explicit StoredMessageLines(int fd, size_t block = size_t(64) << 10);
    ~StoredMessageLines() override;
    StoredMessageLines(const StoredMessageLines&) = delete;
    StoredMessageLines& operator=(const StoredMessageLines&) = delete;

    bool NextLine(std::string_view& line) override;
    int ReadError() const { return readError_; }

private:
    bool refill(); // false at the end of the file or on a read error

    int fd_ = -1;
    size_t block_ = 0;
    std::string owned_;    // what was read of the file and not yet passed on
    std::string_view buf_; // the bytes still to pass on
    int readError_ = 0;
};

// Parses fileBytes into m (attachments go to temporary files as usual).
// Raises what the parser raises ("Boundary error", file errors).
void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m);

// Parses the message in the file at path into m, reading the file a block at
// a time. Raises what the parser raises, and EStoredFileRead.
void ParseStoredFile(const std::string& path, TWireMessage& m);

} // namespace pelko
