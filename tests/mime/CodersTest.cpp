#include "mime/Coders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pelko;

TEST(Base64Line, DecodesWholeGroupsAndIgnoresTheRemainder)
{
    EXPECT_EQ(DecodeLine("TWFu"), "Man");
    EXPECT_EQ(DecodeLine("TWE="), "Ma");
    EXPECT_EQ(DecodeLine("TQ=="), "M");
    EXPECT_EQ(DecodeLine("TQ"), "");
    EXPECT_EQ(DecodeLine("TWF"), "");
    EXPECT_EQ(DecodeLine("TWFuTQ"), "Man");
    EXPECT_EQ(DecodeLine("TWFuTWFu"), "ManMan");
    EXPECT_EQ(DecodeLine(""), "");
}

TEST(Base64Line, LongLineDecodesCompletely)
{
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes += static_cast<char>(i * 7 + 3);
    const std::string line = EncodeLine(bytes); // 400 characters
    ASSERT_EQ(line.size(), 400u);
    EXPECT_EQ(DecodeLine(line), bytes);
}

TEST(Base64Unit, LengthAndPadding)
{
    EXPECT_EQ(DecodeUnit("TWFu"), "Man");
    // "=" in third place gives one byte, whatever the fourth character.
    EXPECT_EQ(DecodeUnit("TQ=x"), "M");
    EXPECT_EQ(DecodeUnit("TWE="), "Ma");
    try {
        DecodeUnit("TWFuT");
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "DecodeUnit length error.");
    }
    EXPECT_THROW(DecodeUnit("TWF"), std::runtime_error);
}

TEST(Base64Encode, UnitsAndLines)
{
    EXPECT_EQ(EncodeUnit("M"), "TQ==");
    EXPECT_EQ(EncodeUnit("Ma"), "TWE=");
    EXPECT_EQ(EncodeUnit("Man"), "TWFu");
    EXPECT_EQ(EncodeUnit(std::string("\xff\xfe\xfd", 3)), "//79");
    EXPECT_THROW(EncodeUnit(""), std::runtime_error);
    EXPECT_EQ(EncodeLine("Many hands make light work."), "TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu");
    EXPECT_EQ(EncodeLine(""), "");

    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t cut = 0; cut <= 3; ++cut) {
        const std::string part = all.substr(cut);
        EXPECT_EQ(DecodeLine(EncodeLine(part)), part) << cut;
    }
}

TEST(Base64Encode, FileInBlocksOf45BytesThenAnEmptyLine)
{
    char path[] = "/tmp/pelko-enc-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += static_cast<char>(255 - i);
    std::ofstream(path, std::ios::binary) << bytes;

    std::vector<std::string> lines;
    EncodeFile(path, [&](const std::string& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].size(), 60u);
    EXPECT_EQ(lines[1].size(), 60u);
    EXPECT_EQ(lines[2].size(), 16u); // 10 bytes
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(DecodeLine(lines[0]) + DecodeLine(lines[1]) + DecodeLine(lines[2]), bytes);

    // An empty file gives only the final empty line.
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    lines.clear();
    EncodeFile(path, [&](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(lines, std::vector<std::string>{""});

    try {
        EncodeFile(path, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No Event Defined");
    }
    std::remove(path);
    EXPECT_THROW(EncodeFile(path, [](const std::string&) {}), std::runtime_error);
}
