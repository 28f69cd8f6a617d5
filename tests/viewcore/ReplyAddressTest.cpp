// The reply link: only the sender's address and the subject, both encoded,
// whatever the From and Subject headers hold.
#include "viewcore/ReplyAddress.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(ReplyAddress, OnlyTheAddressAndTheSubjectReachTheLink)
{
    const struct {
        const char* from;
        const char* subject;
        const char* url;
    } rows[] = {
        {"\"Doe, Jane\" <jane@example.org>", "Hi there", "mailto:jane@example.org?subject=Re%3A%20Hi%20there"},
        {"   Bob Example <bob@example.org>", "RE: again", "mailto:bob@example.org?subject=RE%3A%20again"},
        {"jane@example.org (Jane <Doe>)", "", "mailto:jane@example.org?subject=Re%3A%20"},
        {"=?UTF-8?B?SsO2cmc=?= <j@example.org>", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=",
         "mailto:j@example.org?subject=Re%3A%20Gr%C3%BC%C3%9Fe"},
        {"x@y?attach=/etc/passwd", "s&cc=evil@x", "mailto:x@y%3Fattach%3D%2Fetc%2Fpasswd?subject=Re%3A%20s%26cc%3Devil%40x"},
        {"<first@example.org>, <second@example.org>", "two", "mailto:first@example.org?subject=Re%3A%20two"},
        {"No Address", "x", ""},
        {"<bad address@example.org>", "x", ""},
    };
    for (const auto& r : rows) {
        TWireMessage m;
        m.SetFrom(r.from);
        m.SetSubject(r.subject);
        EXPECT_EQ(ReplyUrl(m), r.url) << r.from;
    }
}
