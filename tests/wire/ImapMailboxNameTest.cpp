#include "wire/ImapMailboxName.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(ImapMailboxName, ModifiedUtf7)
{
    struct Row {
        const char* utf8;
        const char* wire;
    };
    for (const Row& r : {Row{"INBOX", "INBOX"}, Row{"Entw\xC3\xBC" "rfe", "Entw&APw-rfe"}, Row{"A&B", "A&-B"},
                         Row{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "&ZeVnLIqe-"},
                         Row{"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                             "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
                         Row{"\xF0\x9F\x98\x80!", "&2D3eAA-!"}, Row{"a\xFFz", "a&,,0-z"}})
        EXPECT_EQ(EncodeMailboxName(r.utf8), r.wire) << r.utf8;
    EXPECT_EQ(ImapQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
}
