#include "wire/StoredMessage.h"

#include "wire/MemoryTransport.h"
#include "wire/MessageClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pelko {

namespace {

// What one read of a stored file takes.
constexpr size_t kFileBlock = size_t(64) << 10;

} // namespace

std::string StoredMessageToWire(const std::string& fileBytes)
{
    std::string out;
    out.reserve(fileBytes.size() + fileBytes.size() / 32 + 8);
    size_t pos = 0;
    const size_t n = fileBytes.size();
    while (pos < n) {
        size_t nl = fileBytes.find('\n', pos);
        const bool last = nl == std::string::npos;
        if (last)
            nl = n;
        size_t end = nl;
        if (!last && end > pos && fileBytes[end - 1] == '\r')
            --end;
        if (end > pos && fileBytes[pos] == '.')
            out += '.';
        out.append(fileBytes, pos, end - pos);
        out += "\r\n";
        pos = nl + 1;
    }
    out += ".\r\n";
    return out;
}

void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m)
{
    TWireMessageClient client;
    client.AttachTransport(std::make_unique<MemoryTransport>(StoredMessageToWire(fileBytes)));
    client.ReceiveHeaders(m, "");
    client.ReceiveBody(m);
}

void ParseStoredFile(const std::string& path, TWireMessage& m)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EStoredFileRead(std::strerror(errno));
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    int readError = 0;
    TWireMessageClient client;
    client.AttachTransport(std::make_unique<StoredFileTransport>(fd, &readError));
    try {
        client.ReceiveHeaders(m, "");
        client.ReceiveBody(m);
    } catch (...) {
        if (readError != 0)
            throw EStoredFileRead(std::strerror(readError));
        throw;
    }
    if (readError != 0)
        throw EStoredFileRead(std::strerror(readError));
}

StoredFileTransport::StoredFileTransport(int fd, int* readError)
    : fd_(fd), in_(new char[kFileBlock]), readError_(readError)
{
}

StoredFileTransport::~StoredFileTransport()
{
    close();
}

int StoredFileTransport::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return 0;
}

bool StoredFileTransport::refill()
{
    while (fd_ >= 0) {
        const ssize_t r = ::read(fd_, in_.get(), kFileBlock);
        if (r > 0) {
            inPos_ = 0;
            inEnd_ = static_cast<size_t>(r);
            return true;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && readError_)
            *readError_ = errno;
        break;
    }
    return false;
}

void StoredFileTransport::put(char* data, size_t length, size_t& n, const char* bytes, size_t count)
{
    const size_t k = std::min(count, length - n);
    std::memcpy(data + n, bytes, k);
    n += k;
    if (k < count)
        spill_.append(bytes + k, count - k);
}

IoResult StoredFileTransport::recv(char* data, size_t length)
{
    size_t n = 0;
    if (spillPos_ < spill_.size()) {
        n = std::min(length, spill_.size() - spillPos_);
        std::memcpy(data, spill_.data() + spillPos_, n);
        spillPos_ += n;
        if (spillPos_ == spill_.size()) {
            spill_.clear();
            spillPos_ = 0;
        }
    }
    // A line's bytes pass unchanged; its end becomes CR LF (an LF after a CR
    // completes the pair), a "." that starts it is doubled.
    while (n < length && !finished_) {
        if (inPos_ == inEnd_ && !refill()) {
            if (!lineStart_)
                put(data, length, n, "\r\n", 2);
            put(data, length, n, ".\r\n", 3);
            finished_ = true;
            break;
        }
        const char* p = in_.get() + inPos_;
        if (lineStart_) {
            lineStart_ = false;
            if (*p == '.') {
                put(data, length, n, ".", 1);
                if (n == length)
                    break;
            }
        }
        const size_t scan = std::min(inEnd_ - inPos_, length - n);
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', scan));
        const size_t take = nl ? static_cast<size_t>(nl - p) : scan;
        if (take > 0) {
            std::memcpy(data + n, p, take);
            n += take;
            inPos_ += take;
            lastWasCR_ = p[take - 1] == '\r';
        }
        if (nl) {
            ++inPos_;
            put(data, length, n, "\r\n" + (lastWasCR_ ? 1 : 0), lastWasCR_ ? 1 : 2);
            lineStart_ = true;
            lastWasCR_ = false;
        }
    }
    if (n == 0)
        return {IoState::Closed, 0, 0};
    return IoResult::done(n);
}

} // namespace pelko
