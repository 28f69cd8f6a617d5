#include "WireTestUtil.h"
#include "wire/Pop3ReplyReader.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

using namespace pelko;
using namespace pelko::test;

TEST(Pop3ReplyReader, ResponseCodes)
{
    TWireSocket s;
    s.SetReplyReader(std::make_unique<Pop3ReplyReader>());
    AttachMemory(s, Crlf("+OK ready\n-ERR no such message\n+ok\n-err\n250 ok\n+OKAY\n"
                         "250-first\n250-second\n250 last\n"));
    EXPECT_EQ(s.ReadResponse(), 1);
    EXPECT_EQ(s.ResultText, "+OK ready");
    EXPECT_EQ(s.ReadResponse(), 0);
    EXPECT_EQ(s.ResultText, "-ERR no such message");
    s.ResultCode = 99;
    EXPECT_EQ(s.ReadResponse(), 0); // lower case is not recognised
    s.ResultCode = 99;
    EXPECT_EQ(s.ReadResponse(), 0);
    EXPECT_EQ(s.ReadResponse(), 250);
    EXPECT_EQ(s.ReadResponse(), 1); // only the first three characters count
    EXPECT_TRUE(s.ResponseLines.empty());
    EXPECT_EQ(s.ReadResponse(), 250);
    EXPECT_EQ(s.ResultText, "250 last");
    EXPECT_EQ(s.ResponseLines, (TStrings{"250-first", "250-second", "250 last"}));
}

TEST(Pop3ReplyReader, ReplyIsBoundedInLinesAndBytes)
{
    // Blank lines before a reply and the lines of a multi-line reply count;
    // a reply exactly at a bound is read.
    const struct {
        const char* bytes;
        size_t maxLines, maxBytes;
        bool read;
    } rows[] = {
        {"250-a\r\n250-b\r\n250 c\r\n", 3, 100, true},
        {"250-a\r\n250-b\r\n250 c\r\n", 2, 100, false},
        {"\r\n \r\n+OK\r\n", 3, 100, true},
        {"\r\n \r\n+OK\r\n", 2, 100, false},
        {"250-aaaa\r\n250 b\r\n", 10, 17, true},
        {"250-aaaa\r\n250 b\r\n", 10, 16, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        TWireSocket s;
        s.SetReplyReader(std::make_unique<Pop3ReplyReader>());
        s.MaxReplyLines = row.maxLines;
        s.MaxReplyBytes = row.maxBytes;
        AttachMemory(s, row.bytes, 4);
        if (row.read) {
            EXPECT_NO_THROW(s.ReadResponse());
            continue;
        }
        try {
            s.ReadResponse();
            ADD_FAILURE() << "no exception";
        } catch (const EWireReplyTooLong& e) {
            EXPECT_EQ(std::string(e.what()), ReplyTooLongText(row.maxLines, row.maxBytes));
        }
        EXPECT_FALSE(s.Connected());
    }
    // Each reply counts from nothing.
    TWireSocket s;
    s.SetReplyReader(std::make_unique<Pop3ReplyReader>());
    s.MaxReplyLines = 1;
    AttachMemory(s, "+OK a\r\n+OK b\r\n");
    s.ReadResponse();
    EXPECT_EQ(s.ReadResponse(), kReplyOk);
}
