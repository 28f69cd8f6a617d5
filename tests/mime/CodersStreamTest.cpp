#include "mime/Coders.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace pelko;

namespace {

std::string decodeLines(const std::vector<std::string>& lines)
{
    Base64StreamDecoder d;
    std::string out;
    for (const std::string& l : lines)
        d.feed(l.data(), l.size(), out);
    d.finish(out);
    return out;
}

} // namespace

TEST(Base64Stream, CarriesPartialGroupsAcrossLines)
{
    EXPECT_EQ(decodeLines({"TW", "Fu"}), "Man");
    EXPECT_EQ(decodeLines({"T", "W", "F", "u"}), "Man");
    EXPECT_EQ(decodeLines({"TWFuT", "WFu"}), "ManMan");
    EXPECT_EQ(decodeLines({"TWFuTWF", "1TWFu"}), "ManMauMan");
}

TEST(Base64Stream, SkipsCharactersOutsideTheAlphabet)
{
    EXPECT_EQ(decodeLines({"TW\r Fu\t"}), "Man");
    EXPECT_EQ(decodeLines({"T*W*F*u", "-TW.Fu-"}), "ManMan");
    EXPECT_EQ(decodeLines({std::string("TWFu\0\xff\x80TWFu", 11)}), "ManMan");
}

TEST(Base64Stream, PaddingEndsItsGroupOnly)
{
    EXPECT_EQ(decodeLines({"TWE="}), "Ma");
    EXPECT_EQ(decodeLines({"TQ=="}), "M");
    EXPECT_EQ(decodeLines({"TQ=", "="}), "M");
    // Lines padded one by one, or runs joined: nothing after the padding is lost.
    EXPECT_EQ(decodeLines({"TWE=", "TWFu"}), "MaMan");
    EXPECT_EQ(decodeLines({"TQ==TWE=TWFu"}), "MMaMan");
    // Missing padding at the end: what the last characters hold still counts.
    EXPECT_EQ(decodeLines({"TWE"}), "Ma");
    EXPECT_EQ(decodeLines({"TQ"}), "M");
    EXPECT_EQ(decodeLines({"TWFuT"}), "Man");

    // finish resets: the decoder can be used again.
    Base64StreamDecoder d;
    std::string out;
    d.feed("TWE=", 4, out);
    d.finish(out);
    d.feed("TWFu", 4, out);
    d.finish(out);
    EXPECT_EQ(out, "MaMan");
}

TEST(Base64Stream, AppendsOnlyEachLinesBytes)
{
    Base64StreamDecoder d;
    std::string out = "kept";
    const std::string line(76, 'A');
    d.feed(line.data(), line.size(), out);
    EXPECT_EQ(out.size(), 4u + 57u);
    EXPECT_EQ(out.substr(0, 4), "kept");
    out.clear();
    d.feed(line.data(), 3, out); // three characters carried, no byte yet
    EXPECT_EQ(out.size(), 0u);
    d.feed(line.data(), 1, out);
    EXPECT_EQ(out, std::string(3, '\0'));
}

TEST(Base64Stream, MatchesAReferenceDecodeOverRandomData)
{
    std::mt19937 rng(12345);
    const std::string junk = " \t\r\n*.-!\x01\x7f";
    for (int round = 0; round < 300; ++round) {
        const size_t n = rng() % 3000;
        std::string bytes(n, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng() & 0xFF);
        // Standard 76-character lines, sometimes cut at odd places and
        // sprinkled with characters outside the alphabet.
        std::string text;
        for (size_t i = 0; i < n; i += 57)
            text += EncodeLine(bytes.substr(i, 57));
        const bool messy = round % 3 != 0;
        std::vector<std::string> lines;
        std::string cur;
        for (char c : text) {
            cur += c;
            if (messy && rng() % 23 == 0)
                cur += junk[rng() % junk.size()];
            const size_t limit = messy ? 1 + rng() % 90 : 76;
            if (cur.size() >= limit) {
                lines.push_back(cur);
                cur.clear();
            }
        }
        if (!cur.empty())
            lines.push_back(cur);
        ASSERT_EQ(decodeLines(lines), bytes) << "round " << round;
    }
}
