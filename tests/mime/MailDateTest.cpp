#include "ZoneGuard.h"
#include "mime/MailDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace pelko;
using pelko::test::ZoneGuard;

namespace {

struct Ymd {
    int y, m, d;
    bool operator==(const Ymd& o) const { return y == o.y && m == o.m && d == o.d; }
};
std::ostream& operator<<(std::ostream& os, const Ymd& v) { return os << v.y << "-" << v.m << "-" << v.d; }

Ymd ymd(TDateTime v)
{
    Ymd r{};
    DecodeDate(v, r.y, r.m, r.d);
    return r;
}


} // namespace

TEST(MailDate, CalendarHelpers)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(EncodeDate(1800, 1, 1), -36522);
    EXPECT_EQ(ymd(36165.75), (Ymd{1999, 1, 5}));
    EXPECT_EQ(ymd(EncodeDate(2024, 2, 29)), (Ymd{2024, 2, 29}));
    EXPECT_THROW(EncodeDate(1999, 2, 29), std::runtime_error);
    EXPECT_THROW(EncodeDate(2000, 13, 1), std::runtime_error);
}

TEST(MailDate, ParseGivesTheCalendarDateAtMidnight)
{
    EXPECT_EQ(ParseMailDate("Tue, 5 Jan 1999 10:00:00 +0100"), EncodeDate(1999, 1, 5));
    EXPECT_EQ(ParseMailDate("05 Jan 99 10:00 GMT"), EncodeDate(1999, 1, 5));
    EXPECT_EQ(ParseMailDate("5 Jan 1999"), EncodeDate(1999, 1, 5));
    EXPECT_EQ(ParseMailDate("  5 jan 1999 \r\n"), EncodeDate(1999, 1, 5));
    EXPECT_EQ(ParseMailDate("31 Feb 1999"), 0);
    EXPECT_EQ(ParseMailDate(""), 0);
    EXPECT_EQ(ParseMailDate(" \t "), 0);
    EXPECT_EQ(ParseMailDate("1 Jan 00"), EncodeDate(2000, 1, 1));
    EXPECT_EQ(ParseMailDate("1 Jan 79"), EncodeDate(2079, 1, 1));
    EXPECT_EQ(ParseMailDate("1 Jan 80"), EncodeDate(1980, 1, 1));
    EXPECT_EQ(ParseMailDate("1 Foo 1999"), EncodeDate(1999, 1, 1));
    EXPECT_EQ(ParseMailDate("Mon, 1 Jan 1999"), EncodeDate(1999, 1, 1));
    EXPECT_EQ(ParseMailDate("Monday, 1 Jan 1999"), EncodeDate(1900, 1, 1));
    EXPECT_EQ(ParseMailDate("31 Dec 2023 23:59:59 -1200"), EncodeDate(2023, 12, 31));
    EXPECT_EQ(ParseMailDate("0 Jan 1999"), 0);
    EXPECT_EQ(ParseMailDate("x"), EncodeDate(1900, 1, 1));
    EXPECT_EQ(ParseMailDate("Mon"), EncodeDate(1900, 1, 1));
}

TEST(MailDate, ZoneText)
{
    EXPECT_EQ(ZoneText(false, 0), "+0000");
    EXPECT_EQ(ZoneText(true, 0), "GMT");
    EXPECT_EQ(ZoneText(true, 1.0 / 24), "+0100");
    EXPECT_EQ(ZoneText(false, -5.0 / 24), "-0500");
    EXPECT_EQ(ZoneText(false, 5.5 / 24), "+0530");
    EXPECT_EQ(ZoneText(false, -(1.0 / 24 + 30.0 / 1440)), "-0130");
    EXPECT_EQ(ZoneText(false, 12.75 / 24), "+1245");
}

TEST(MailDate, LocalOffsetAndHeaderFormat)
{
    {
        ZoneGuard z("UTC0");
        EXPECT_EQ(LocalGMTOffset(), 0);
        EXPECT_EQ(FormatMailDate(EncodeDate(1999, 1, 5) + 10.0 / 24), "Tue, 05 Jan 1999 10:00:00 +0000");
        EXPECT_EQ(FormatMailDate(0), "Sat, 30 Dec 1899 00:00:00 +0000");
        EXPECT_EQ(FormatMailDate(EncodeDate(2024, 2, 29) + (13 * 3600 + 7 * 60 + 9) / 86400.0),
                  "Thu, 29 Feb 2024 13:07:09 +0000");
    }
    {
        ZoneGuard z("XYZ-1");
        EXPECT_DOUBLE_EQ(LocalGMTOffset(), 1.0 / 24);
        EXPECT_EQ(FormatMailDate(EncodeDate(1999, 1, 5) + 10.0 / 24), "Tue, 05 Jan 1999 10:00:00 +0100");
    }
    {
        ZoneGuard z("XYZ+5:30");
        EXPECT_DOUBLE_EQ(LocalGMTOffset(), -(5.0 / 24 + 30.0 / 1440));
        EXPECT_EQ(ZoneText(false, LocalGMTOffset()), "-0530");
    }
}

TEST(MailDate, FullDateTimeOfAHeader)
{
    long long t = 0;
    ASSERT_TRUE(ParseMailDateTime("Tue, 5 Jan 1999 10:00:00 +0100", t));
    EXPECT_EQ(t, 915526800LL);
    ASSERT_TRUE(ParseMailDateTime("05 Jan 99 10:00 GMT", t));
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("5 Jan 1999 05:00:00 EST", t));
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("5 Jan 1999 03:00 PDT", t));
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("Tuesday,  5 Jan 1999 10:00:00", t)); // no zone: UTC
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("Tue, 5 Jan 1999 11:30:00 +0130 (XYZ)", t));
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("Mon, 4 Jan 1999 23:00:00 -1100", t));
    EXPECT_EQ(t, 915530400LL);
    ASSERT_TRUE(ParseMailDateTime("1 Jan 49 00:00 +0000", t));
    EXPECT_EQ(t, 2493072000LL); // 2049
    ASSERT_TRUE(ParseMailDateTime("1 Jan 50 00:00 +0000", t));
    EXPECT_EQ(t, -631152000LL); // 1950
    ASSERT_TRUE(ParseMailDateTime("29 Feb 2024 12:00:60 +0000", t));
    EXPECT_EQ(t, 1709208059LL);

    EXPECT_FALSE(ParseMailDateTime("", t));
    EXPECT_FALSE(ParseMailDateTime("5 Jan 1999", t));
    EXPECT_FALSE(ParseMailDateTime("31 Feb 1999 10:00", t));
    EXPECT_FALSE(ParseMailDateTime("5 Foo 1999 10:00", t));
    EXPECT_FALSE(ParseMailDateTime("5 Jan 1999 24:00", t));
    EXPECT_FALSE(ParseMailDateTime("5 Jan 1999 10:60", t));
    EXPECT_FALSE(ParseMailDateTime("5 Jan 1999 10:00 +01", t));
    EXPECT_FALSE(ParseMailDateTime("Someday, 5 Jan 1999 10:00", t));
    EXPECT_FALSE(ParseMailDateTime("yesterday", t));
}
