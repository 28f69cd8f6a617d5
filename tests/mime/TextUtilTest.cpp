#include "mime/TextUtil.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace pelko;

TEST(TextUtil, TrimRemovesControlsAndBlanksAtBothEnds)
{
    EXPECT_EQ(Trim(std::string("\x01\t a b \r\n\x1f", 9)), "a b");
    EXPECT_EQ(Trim(" \t "), "");
    EXPECT_EQ(Trim("\xe9x\xe9"), "\xe9x\xe9"); // 8-bit characters stay
}

TEST(TextUtil, SplitFirst)
{
    std::string s = "text/plain";
    EXPECT_EQ(SplitFirst(s, "/"), "text");
    EXPECT_EQ(s, "plain");
    s = "text";
    EXPECT_EQ(SplitFirst(s, "/"), "text");
    EXPECT_EQ(s, "");
    s = "a::b::c";
    EXPECT_EQ(SplitFirst(s, "::"), "a");
    EXPECT_EQ(s, "b::c");
    s = "A/b";
    EXPECT_EQ(SplitFirst(s, "a"), "A/b"); // exact match only
    EXPECT_EQ(s, "");
}

TEST(TextUtil, ExtractBetween)
{
    const std::string q = "\"";
    EXPECT_EQ(ExtractBetween("attachment; filename=\"a.zip\"", "filename=" + q, q, true), "a.zip");
    EXPECT_EQ(ExtractBetween("attachment; FileName=\"A.zip\"", "filename=" + q, q, true), "A.zip");
    EXPECT_EQ(ExtractBetween("attachment; FileName=\"A.zip\"", "filename=" + q, q, false), "");
    EXPECT_EQ(ExtractBetween("attachment", "filename=" + q, q, true), "");
    EXPECT_EQ(ExtractBetween("inline; name=\"x\"; size=\"3\"", "filename=" + q, q, true), "");
    EXPECT_EQ(ExtractBetween("attachment; filename=\"a.zip", "filename=" + q, q, true), "");
    EXPECT_EQ(ExtractBetween("attachment; filename=\"\"", "filename=" + q, q, true), "");
    // A longer end token: the whole text before it, nothing cut off.
    EXPECT_EQ(ExtractBetween("<b>bold</b> rest", "<b>", "</b>", false), "bold");
    EXPECT_EQ(ExtractBetween("x[[ab]]y[[cd]]", "[[", "]]", false), "ab");
}

TEST(TextUtil, ReplaceText)
{
    EXPECT_EQ(ReplaceText("a-b-c", "-", "+", false, false), "a+b-c");
    EXPECT_EQ(ReplaceText("a-b-c", "-", "+", true, false), "a+b+c");
    EXPECT_EQ(ReplaceText("Hello hello", "HELLO", "bye", true, true), "bye bye");
    EXPECT_EQ(ReplaceText("Hello hello", "HELLO", "bye", true, false), "Hello hello");
    EXPECT_EQ(ReplaceText("xAbCx", "abc", "-", false, true), "x-x");
    EXPECT_EQ(ReplaceText("aaaa", "aa", "a", true, false), "aa"); // non-overlapping, left to right
    EXPECT_EQ(ReplaceText("abc", "", "x", true, false), "abc");
    EXPECT_EQ(ReplaceText("abc", "c", "", true, false), "ab");
}

TEST(TextUtil, JoinAndStreamLines)
{
    EXPECT_EQ(IndexOfText("feb", {"JAN", "FEB"}), -1); // exact comparison
    EXPECT_EQ(JoinWithCommas({"one", "two", "three"}), "one,two,three");
    EXPECT_EQ(JoinWithCommas({"one"}), "one");
    EXPECT_EQ(JoinWithCommas({}), "");

    std::ostringstream out;
    WriteStreamLine(out, "abc");
    WriteStreamLine(out, "");
    EXPECT_EQ(out.str(), "abc\r\n\r\n");
}

TEST(TextUtil, ShownLineIsOneShortLineOfWhatIsSeen)
{
    const struct {
        std::string text;
        size_t max;
        std::string shown;
    } rows[] = {
        {"Bank\xe2\x80\xae" "exe.txt\xe2\x81\xa6\xef\xbb\xbf", 50, "Bankexe.txt"},
        {"one\ntwo\xe2\x80\xa8three\xe2\x80\xa9\x1b[1m\xc2\x9b", 50, "one two three  [1m "},
        {"caf\xc3\xa9 \xff\xc3", 50, "caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd"},
        // A surrogate, a code past U+10FFFF, an overlong slash: each byte replaced.
        {"\xed\xa0\x80\xf4\x90\x80\x80\xc0\xaf", 50, "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abcde\xe2\x80\xa6"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xe2\x80\xa6"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ShownLine(r.text, r.max), r.shown) << r.text;
}
