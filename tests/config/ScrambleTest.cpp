#include "config/Scramble.h"

#include <gtest/gtest.h>

#include <random>

using namespace pelko;

TEST(Scramble, KnownAnswersAndRoundTrip)
{
    // By hand from key 9975 (0x26F7): 'a' ^ 0x26 = 0x47, key = (9975 + 0x47) * 9759 + 25286
    // mod 65536 = 0x5748; 'b' ^ 0x57 = 0x35, key = 0x88E9; 'c' ^ 0x88 = 0xEB.
    EXPECT_EQ(Scramble("abc", kPasswordKey), "\x47\x35\xEB");
    EXPECT_EQ(Unscramble("\x47\x35\xEB", kPasswordKey), "abc");
    EXPECT_EQ(Scramble("a", 0), "a"); // high byte 0
    EXPECT_EQ(Scramble("", kPasswordKey), "");

    std::mt19937 rng(1234);
    for (size_t len = 1; len < 300; ++len) {
        std::string p(len, '\0');
        for (char& ch : p)
            ch = char(rng() & 0xff);
        const uint16_t key = len % 2 ? kPasswordKey : uint16_t(rng());
        const std::string s = Scramble(p, key);
        ASSERT_EQ(s.size(), p.size());
        ASSERT_EQ(Unscramble(s, key), p) << "length " << len;
        ASSERT_NE(Unscramble(s, uint16_t(key + 256)), p); // the key matters
    }
}
