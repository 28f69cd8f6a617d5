#include "wire/MemoryTransport.h"

#include <algorithm>
#include <cstring>

namespace pelko {

MemoryTransport::MemoryTransport(std::string incoming, size_t maxChunk)
    : incoming_(std::move(incoming)), maxChunk_(maxChunk)
{
}

IoResult MemoryTransport::send(const char* data, size_t length)
{
    written_.append(data, length);
    return IoResult::done(length);
}

IoResult MemoryTransport::recv(char* data, size_t length)
{
    ++receiveCalls_;
    size_t n = std::min(length, incoming_.size() - pos_);
    if (maxChunk_ > 0)
        n = std::min(n, maxChunk_);
    if (n == 0)
        return {IoState::Closed, 0, 0};
    std::memcpy(data, incoming_.data() + pos_, n);
    pos_ += n;
    return IoResult::done(n);
}

int MemoryTransport::close()
{
    return 0;
}

} // namespace pelko
