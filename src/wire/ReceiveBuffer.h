#pragma once
// The receive buffer of a connection. The held bytes live between a start
// offset and an end offset, so taking a line moves nothing; the held bytes
// are moved to the front only when the next receive is prepared. The
// capacity grows and shrinks in chunk steps by the rule applied to the bytes
// held (see prepareFill). A line-end search resumes where the previous one
// stopped, so no byte is searched twice.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelko {

class ReceiveBuffer {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    size_t capacity() const { return buf_.size(); }
    size_t held() const { return end_ - start_; }
    const char* data() const { return buf_.data() + start_; }

    // Sets the capacity (held bytes beyond it are lost).
    void setCapacity(size_t n);
    // No bytes held, capacity 0.
    void reset();

    // What a receive of a connection may take at once: a stream of 64 KiB
    // blocks costs one receive call per block, not one per chunk.
    static constexpr size_t kFillBlock = size_t(64) << 10;

    // Moves the held bytes to the front, then one growth step when the free
    // space is under half the held count plus one, or one shrink step when
    // more than two chunks are free and over one chunk would remain. With
    // minRoom, the capacity is then raised as far as needed for minRoom
    // free bytes, and no shrink step goes below that. Returns where the next
    // receive writes; *room is the free space less one byte.
    char* prepareFill(size_t chunk, size_t* room, size_t minRoom = 0);
    void commit(size_t n);
    // Where a receive writes now, without moving or resizing anything; *room
    // as for prepareFill (0 when there is none).
    char* freeSpace(size_t* room);

    // Offset (from data()) of the first occurrence of lineEnd in the held
    // bytes, or npos. Bytes searched without success are not searched again.
    size_t findLineEnd(std::string_view lineEnd);

    std::string_view peek(size_t n) const { return std::string_view(data(), n); }
    void consume(size_t n);

private:
    std::vector<char> buf_;
    size_t start_ = 0;
    size_t end_ = 0;
    size_t searched_ = 0; // absolute offset below which no line end starts
};

} // namespace pelko
