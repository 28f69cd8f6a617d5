#include "config/IniLookup.h"
#include "platform/FatalEnd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace pelko;

namespace {

struct TempIni {
    std::string dir, path;
    explicit TempIni(const std::string& bytes, const std::string& name = "Pelko.ini")
    {
        char tmpl[] = "/tmp/pelko-ini-XXXXXX";
        dir = mkdtemp(tmpl);
        path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ~TempIni()
    {
        std::remove(path.c_str());
        rmdir(dir.c_str());
    }
};

std::string find(const std::string& bytes, const std::string& section, const std::string& key)
{
    return FindInLines(SplitIniLines(bytes), section, key);
}

} // namespace

TEST(IniLines, CrEndsLinesLoneLfStaysAndByte26EndsTheFile)
{
    EXPECT_EQ(SplitIniLines("a\r\nb\rc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitIniLines("a\nb\n"), (std::vector<std::string>{"a\nb\n"}));
    EXPECT_EQ(SplitIniLines("a\r\nb\x1a\r\nc\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(SplitIniLines("").empty());
}

TEST(FindInSkin, WholeFileSearchAndValueForms)
{
    const std::string f = "current_skin = c:\\skins\\a\\\r\nposX = 120\r\n";
    EXPECT_EQ(find(f, "", "posx"), "120");
    EXPECT_EQ(find("inactive = 1\r\n", "", "inactive"), "1");
    EXPECT_EQ(find("autocheck =1\r\n", "", "autocheck"), "1");
    EXPECT_EQ(find("key=  a b  \r\n", "", "key"), "a b  ");
    EXPECT_EQ(find("x = a=b\r\n", "", "x"), "a=b");
    EXPECT_EQ(find("  just key here\r\n", "", "key"), "just key here");
    EXPECT_EQ(find("a = 1\r\n", "", ""), "none");
    EXPECT_EQ(find("a = 1\r\n", "", "b"), "none");
    // A substring of another line's value captures the key.
    EXPECT_EQ(find("wavsnd = c:\\ontop.wav\r\nontop =1\r\n", "", "ontop"), "c:\\ontop.wav");
}

TEST(FindInSkin, CommentsAndSections)
{
    EXPECT_EQ(find("; host_name = x\r\nhost_name = y\r\n", "", "host_name"), "y");
    EXPECT_EQ(find(" ; host_name = x\r\n", "", "host_name"), "x");
    const std::string acc = "\r\n[Account1]\r\nhost_name = pop.a\r\n[account2]\r\nacc_name = b\r\n"
                            "[account3]\r\nhost_name = pop.b\r\n";
    EXPECT_EQ(find(acc, "[account2]", "host_name"), "pop.b");
    EXPECT_EQ(find(acc, "[account1]", "host_name"), "pop.a");
    EXPECT_EQ(find(acc, "[account9]", "host_name"), "none");
    EXPECT_EQ(find("[status] \r\nsize = 8,10\r\n", "[status]", "size"), "none");
    EXPECT_EQ(find("[online]\r\nnotonlinebmp = off.bmp\r\nonlinebmp = on.bmp\r\n", "[online]", "onlinebmp"),
              "off.bmp");
}

TEST(FindInSkin, UnreadableFiles)
{
    EXPECT_EQ(FindInSkin("/nonexistent/dir/Accounts.ini", "[account1]", "acc_name", IfUnreadable::Empty), "");
    try {
        FindInSkin("/nonexistent/dir/Pelko.ini", "", "current_skin", IfUnreadable::Fatal);
        FAIL() << "no fatal end";
    } catch (const FatalEnd& e) {
        EXPECT_EQ(std::string(e.what()), kSkinPathNotFound);
    }
    // A directory where the file should be is no file either.
    try {
        FindInSkin("/tmp", "", "current_skin", IfUnreadable::Fatal);
        FAIL() << "a directory read as an empty file";
    } catch (const FatalEnd& e) {
        EXPECT_EQ(std::string(e.what()), kSkinPathNotFound);
    }
    TempIni ini("current_skin = /x/\r\n");
    EXPECT_EQ(FindInSkin(ini.path, "", "current_skin", IfUnreadable::Fatal), "/x/");
}

TEST(TraiteInt, PairsSingleNumbersAndErrors)
{
    int32_t x = 5, y = 6;
    TraiteInt("12,34", x, y);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 34);
    TraiteInt("7", x, y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 34);
    TraiteInt("none", x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    TraiteInt("-5, 7", x, y);
    EXPECT_EQ(x, -5);
    EXPECT_EQ(y, 7);
    TraiteInt("$10,0x1f", x, y);
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 31);
    EXPECT_THROW(TraiteInt("NONE", x, y), ConversionError);
    EXPECT_THROW(TraiteInt("10 ,20", x, y), ConversionError);
    EXPECT_THROW(TraiteInt("1,", x, y), ConversionError);
    EXPECT_THROW(StrToInt("99999999999"), ConversionError);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}
