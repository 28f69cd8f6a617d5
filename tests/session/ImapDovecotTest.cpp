// IMAP checks against the test run's dovecot (users 41 to 44 belong to
// these tests): what counts, what is new and told once, and that nothing a
// check or the message window reads marks mail read.
#include "Dovecot.h"
#include "session/AccountCheck.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace pelko {
namespace {

std::string Message(const std::string& subject)
{
    return "From: Tester <tester@example.org>\r\nTo: someone@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + subject + "@example.org>\r\nDate: Tue, 5 Jan 1999 10:00:00 +0100\r\n\r\n"
           "The text of " + subject + ".\r\n";
}

struct Check {
    int32_t count = -1;
    std::string fresh, named; // subjects, "|" after each
};

class ImapDovecot : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (DovecotImapPort() <= 0)
            GTEST_SKIP() << "no test dovecot with imapd";
        DovecotClearMailbox(kUser);
        account = {"Home", "imap://127.0.0.1:" + std::to_string(DovecotImapPort()), DovecotUser(kUser),
                   ReadAccountAuth(DovecotPassword(kUser))};
    }

    // One check as the main window makes it: signed in afresh, closed after.
    Check CheckOnce(bool unknownIsNew = false)
    {
        std::unique_ptr<Mailbox> box = MakeMailbox(account);
        box->SetTimeout(10000);
        CheckRules rules;
        rules.seen = &seen;
        rules.key = SeenIds::Key(account);
        rules.unknownIsNew = unknownIsNew;
        rules.nameUpTo = 5;
        const CheckOutcome got = CheckMailbox(*box, rules);
        box->Close();
        Check c;
        c.count = got.listing.count;
        for (const NewMailHeaders& h : got.named)
            c.named += h.subject + "|";
        EXPECT_EQ(got.fresh.size(), got.named.size());
        return c;
    }

    static constexpr int kUser = 41;
    MailAccount account;
    SeenIds seen;
};

TEST_F(ImapDovecot, UnseenCountNewMailOnceAndNothingMarkedRead)
{
    for (const char* s : {"one", "two", "three"})
        DovecotAddMessage(kUser, Message(s));
    Check c = CheckOnce();
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(c.named, "") << "the first check takes the mailbox as it is";

    DovecotAddMessage(kUser, Message("four"));
    DovecotAddMessage(kUser, Message("five"));
    c = CheckOnce();
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c.named, "four|five|");
    EXPECT_EQ(CheckOnce().named, "") << "told once";

    DovecotMarkSeen(kUser, 0); // "one", read in another mail client
    c = CheckOnce();
    EXPECT_EQ(c.count, 4);
    EXPECT_EQ(c.named, "");

    // The message window: numbers walk the unseen messages; reading marks nothing.
    std::unique_ptr<Mailbox> box = MakeMailbox(account);
    box->SetTimeout(10000);
    box->SignIn();
    ASSERT_EQ(box->List(true).count, 4);
    TWireMessage headers, whole;
    headers.ExtractAttachments = false;
    ASSERT_TRUE(box->FetchHeaders(1, headers));
    EXPECT_EQ(headers.Subject(), "two");
    ASSERT_TRUE(box->FetchMessage(4, whole));
    EXPECT_EQ(whole.Subject(), "five");
    ASSERT_FALSE(whole.Text.empty());
    EXPECT_EQ(whole.Text.front(), "The text of five.");
    ASSERT_TRUE(box->Delete(2)); // "three"
    box->Close();
    EXPECT_EQ(DovecotMessageCount(kUser), 4) << "that message alone is gone";
    box->SignIn();
    const Listing after = box->List(true);
    EXPECT_EQ(after.count, 3) << "read, and still unseen";
    TWireMessage second;
    ASSERT_TRUE(box->FetchHeaders(2, second));
    EXPECT_EQ(second.Subject(), "four");
    box->Close();

    // Renumbered by the server: a new baseline, nothing told, even where a
    // mailbox not on record would be new as a whole.
    DovecotRenumberMailbox(kUser);
    c = CheckOnce(true);
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(c.named, "");
    DovecotAddMessage(kUser, Message("six"));
    EXPECT_EQ(CheckOnce().named, "six|");
}

} // namespace
} // namespace pelko
