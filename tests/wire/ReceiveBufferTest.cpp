#include "wire/ReceiveBuffer.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace pelko;

namespace {

void Put(ReceiveBuffer& b, const std::string& bytes, size_t chunk = 8192)
{
    size_t room = 0;
    char* dst = b.prepareFill(chunk, &room);
    ASSERT_LE(bytes.size(), room);
    std::memcpy(dst, bytes.data(), bytes.size());
    b.commit(bytes.size());
}

} // namespace

TEST(ReceiveBuffer, GrowsAndShrinksOneChunkPerReceive)
{
    ReceiveBuffer b;
    b.setCapacity(8192);
    size_t room = 0;
    b.prepareFill(8192, &room);
    EXPECT_EQ(b.capacity(), 8192u);
    EXPECT_EQ(room, 8191u); // one byte less than the free space
    b.commit(8191);

    // Free space 0 < held/2: one chunk more.
    b.prepareFill(8192, &room);
    EXPECT_EQ(b.capacity(), 16384u);
    EXPECT_EQ(room, 8192u);

    // Nearly empty and more than two chunks free: one chunk less per call.
    b.consume(b.held());
    b.setCapacity(5 * 8192);
    Put(b, "0123456789");
    EXPECT_EQ(b.capacity(), 4u * 8192);
    b.prepareFill(8192, &room);
    EXPECT_EQ(b.capacity(), 3u * 8192);
    b.prepareFill(8192, &room);
    EXPECT_EQ(b.capacity(), 2u * 8192); // not more than two chunks free any more
    b.prepareFill(8192, &room);
    EXPECT_EQ(b.capacity(), 2u * 8192);
    EXPECT_EQ(std::string(b.peek(10)), "0123456789"); // held bytes survive
}

TEST(ReceiveBuffer, TakingALineMovesNothingUntilTheNextFill)
{
    ReceiveBuffer b;
    b.setCapacity(64);
    Put(b, "one\r\ntwo\r\nthr", 64);
    const char* before = b.data();
    size_t at = b.findLineEnd("\r\n");
    EXPECT_EQ(at, 3u);
    b.consume(at + 2);
    EXPECT_EQ(b.data(), before + 5);
    at = b.findLineEnd("\r\n");
    EXPECT_EQ(std::string(b.peek(at)), "two");
    b.consume(at + 2);
    EXPECT_EQ(b.findLineEnd("\r\n"), ReceiveBuffer::npos);

    // The next fill moves the partial line to the front and appends to it.
    Put(b, "ee\r\n", 64);
    EXPECT_EQ(b.data(), before);
    at = b.findLineEnd("\r\n");
    EXPECT_EQ(std::string(b.peek(at)), "three");
}

TEST(ReceiveBuffer, LineEndSplitAcrossReceivesAndLoneBytes)
{
    ReceiveBuffer b;
    b.setCapacity(64);
    Put(b, "a\nb\rc\r", 64); // lone LF and lone CR belong to the line
    EXPECT_EQ(b.findLineEnd("\r\n"), ReceiveBuffer::npos);
    Put(b, "\nrest", 64);
    const size_t at = b.findLineEnd("\r\n");
    ASSERT_NE(at, ReceiveBuffer::npos);
    EXPECT_EQ(std::string(b.peek(at)), "a\nb\rc");

    // Empty line.
    ReceiveBuffer e;
    e.setCapacity(16);
    Put(e, "\r\nx", 16);
    EXPECT_EQ(e.findLineEnd("\r\n"), 0u);
}

TEST(ReceiveBuffer, AFillCanAlwaysTakeAWholeBlock)
{
    ReceiveBuffer b;
    b.setCapacity(8192);
    size_t room = 0;
    b.prepareFill(8192, &room, ReceiveBuffer::kFillBlock);
    EXPECT_EQ(room, ReceiveBuffer::kFillBlock);
    Put(b, "partial line");
    b.prepareFill(8192, &room, ReceiveBuffer::kFillBlock);
    EXPECT_EQ(room, ReceiveBuffer::kFillBlock);
    EXPECT_EQ(std::string(b.peek(12)), "partial line");

    // Far more free than that: the chunk steps shrink it, never below the block.
    b.setCapacity(12 * 8192);
    for (int i = 0; i < 20; ++i)
        b.prepareFill(8192, &room, ReceiveBuffer::kFillBlock);
    EXPECT_GE(room, ReceiveBuffer::kFillBlock);
    EXPECT_LT(room, ReceiveBuffer::kFillBlock + 8192);
}
