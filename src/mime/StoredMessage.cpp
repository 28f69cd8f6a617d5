#include "mime/StoredMessage.h"

#include "mime/TextUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pelko {

StoredMessageLines::StoredMessageLines(int fd, size_t block) : fd_(fd), block_(block) {}

StoredMessageLines::~StoredMessageLines()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool StoredMessageLines::refill()
{
    // What is left moves to the front; one block more is read behind it.
    owned_.erase(0, owned_.size() - buf_.size());
    const size_t kept = owned_.size();
    owned_.resize(kept + block_);
    while (fd_ >= 0) {
        const ssize_t r = ::read(fd_, owned_.data() + kept, block_);
        if (r > 0) {
            owned_.resize(kept + static_cast<size_t>(r));
            buf_ = owned_;
            return true;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            readError_ = errno;
        ::close(fd_);
        fd_ = -1;
    }
    owned_.resize(kept);
    buf_ = owned_;
    return false;
}

bool StoredMessageLines::NextLine(std::string_view& line)
{
    size_t scanned = 0;
    for (;;) {
        const size_t nl = buf_.find('\n', scanned);
        if (nl != std::string_view::npos) {
            if (nl > kMaxStoredLine)
                throw EMessageFormat(LineTooLongText(kMaxStoredLine));
            line = buf_.substr(0, nl > 0 && buf_[nl - 1] == '\r' ? nl - 1 : nl);
            buf_.remove_prefix(nl + 1);
            return true;
        }
        if (buf_.size() > kMaxStoredLine)
            throw EMessageFormat(LineTooLongText(kMaxStoredLine));
        scanned = buf_.size();
        if (fd_ < 0 || !refill()) {
            if (buf_.empty())
                return false;
            line = buf_; // the last line, without a line end
            buf_.remove_prefix(buf_.size());
            return true;
        }
    }
}

namespace {

void ParseLines(MessageLines& lines, TWireMessage& m)
{
    TMessageParser parser(lines);
    parser.ReadHeaders(m, "");
    parser.ReadBody(m);
}

} // namespace

void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m)
{
    StoredMessageLines lines{std::string_view(fileBytes)};
    ParseLines(lines, m);
}

void ParseStoredFile(const std::string& path, TWireMessage& m)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EStoredFileRead(std::strerror(errno));
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    StoredMessageLines lines(fd);
    // A read error is the reason, whatever the parser made of the lines it got.
    auto raiseReadError = [&lines] {
        if (lines.ReadError() != 0)
            throw EStoredFileRead(std::strerror(lines.ReadError()));
    };
    try {
        ParseLines(lines, m);
    } catch (...) {
        raiseReadError();
        throw;
    }
    raiseReadError();
}

} // namespace pelko
