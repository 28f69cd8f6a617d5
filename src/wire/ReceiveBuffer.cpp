#include "wire/ReceiveBuffer.h"

#include <algorithm>
#include <cstring>

namespace pelko {

void ReceiveBuffer::setCapacity(size_t n)
{
    if (start_ > 0) {
        std::memmove(buf_.data(), buf_.data() + start_, held());
        end_ -= start_;
        searched_ = searched_ > start_ ? searched_ - start_ : 0;
        start_ = 0;
    }
    buf_.resize(n);
    buf_.shrink_to_fit();
    end_ = std::min(end_, n);
    searched_ = std::min(searched_, end_);
}

void ReceiveBuffer::reset()
{
    std::vector<char>().swap(buf_);
    start_ = end_ = searched_ = 0;
}

char* ReceiveBuffer::prepareFill(size_t chunk, size_t* room, size_t minRoom)
{
    if (start_ > 0) {
        const size_t n = held();
        if (n > 0)
            std::memmove(buf_.data(), buf_.data() + start_, n);
        searched_ = searched_ > start_ ? searched_ - start_ : 0;
        end_ = n;
        start_ = 0;
    }
    // In the terms of the rule: L is the capacity, P the 1-based index of the
    // first free byte (held + 1).
    const long long step = static_cast<long long>(chunk);
    long long L = static_cast<long long>(buf_.size());
    const long long P = static_cast<long long>(end_) + 1;
    const long long floor = minRoom > 0 ? P + static_cast<long long>(minRoom) : 0;
    if (L - P < P / 2)
        L += step;
    else if (L - P > 2 * step && L - step > step && L - step >= floor)
        L -= step;
    L = std::max(L, floor);
    // A chunk of a few bytes could leave no room at all: always leave one.
    while (L - P < 1)
        L += std::max(step, 1LL);
    if (static_cast<size_t>(L) != buf_.size()) {
        buf_.resize(static_cast<size_t>(L));
        if (static_cast<size_t>(L) < buf_.capacity() / 2)
            buf_.shrink_to_fit();
    }
    *room = static_cast<size_t>(L - P);
    return buf_.data() + end_;
}

char* ReceiveBuffer::freeSpace(size_t* room)
{
    const size_t used = end_ + 1;
    *room = buf_.size() > used ? buf_.size() - used : 0;
    return buf_.data() + end_;
}

void ReceiveBuffer::commit(size_t n)
{
    end_ += n;
}

size_t ReceiveBuffer::findLineEnd(std::string_view lineEnd)
{
    if (lineEnd.empty())
        return npos;
    const char last = lineEnd.back();
    const size_t k = lineEnd.size();
    // A match ends at some byte >= searched_ + k - 1; look for its last char.
    size_t from = std::max(searched_ + k - 1, start_ + k - 1);
    while (from < end_) {
        const void* hit = std::memchr(buf_.data() + from, last, end_ - from);
        if (!hit)
            break;
        const size_t at = static_cast<const char*>(hit) - buf_.data();
        const char* match = buf_.data() + at + 1 - k;
        // CR LF, the usual line end, is one byte to compare: no call for it.
        if (k == 2 ? match[0] == lineEnd[0] : std::memcmp(match, lineEnd.data(), k) == 0)
            return at + 1 - k - start_;
        from = at + 1;
    }
    // Everything up to here holds no match; a match may still start in the
    // last k - 1 bytes.
    searched_ = end_ >= k - 1 ? std::max(end_ - (k - 1), start_) : start_;
    return npos;
}

void ReceiveBuffer::consume(size_t n)
{
    start_ += std::min(n, held());
    if (searched_ < start_)
        searched_ = start_;
    if (start_ == end_)
        start_ = end_ = searched_ = 0;
}

} // namespace pelko
