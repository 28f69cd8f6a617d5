// One check of one account against scripted servers: what is new by the ids
// seen or by the count, and which new messages are named.
#include "ScriptedPeer.h"
#include "session/AccountCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace pelko {
namespace {

const std::string kLogin = "S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\nS: +OK in\n";
const std::string kTwo = "C: UIDL\nS: +OK\nS: 1 a\nS: 2 b\nS: .\n";
const std::string kStat = "C: UIDL\nS: -ERR no\nC: STAT\nS: +OK 2 300\n";

std::string Top(int n, const std::string& subject)
{
    return "C: TOP " + std::to_string(n) + " 0\nS: +OK\nS: Subject: " + subject + "\nS: \nS: .\n";
}

TEST(AccountCheck, NewMailByIdsOrByCountAndTheNamesOfTheFirst)
{
    const struct {
        const char* what;
        std::string script; // after the login
        bool withSeen, seenHoldsA, unknownIsNew;
        int32_t previousCount;
        size_t nameUpTo;
        bool any, idsKnown;
        std::string fresh, named; // numbers and subjects, "|" after each
    } rows[] = {
        {"not on record: nothing new", kTwo, true, false, false, -1, 5, false, true, "", ""},
        {"not on record after a Connect", kTwo + Top(1, "one") + Top(2, "two"), true, false, true, -1, 5, true, true,
         "1|2|", "one|two|"},
        {"one id seen, one named at most", kTwo + Top(2, "two"), true, true, false, -1, 1, true, true, "2|", "two|"},
        {"nothing named when asked for none", kTwo, true, false, true, -1, 0, true, true, "1|2|", ""},
        {"no ids: the count rose", kStat + Top(2, "newest"), false, false, false, 1, 5, true, false, "", "newest|"},
        {"no ids: the count did not rise", kStat, false, false, false, 2, 5, false, false, "", ""},
        {"ids without seen: only the count tells", kTwo, false, false, false, -1, 5, false, false, "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ScriptedPeer peer(kLogin + r.script + "C: Quit\n");
        MailAccount account{"Home", "127.0.0.1:" + std::to_string(peer.port()), "joe", ReadAccountAuth("word")};
        std::unique_ptr<Mailbox> box = MakeMailbox(account);
        box->SetTimeout(2000);
        SeenIds seen;
        if (r.seenHoldsA)
            seen.Record("k", {{1, "a"}});
        CheckRules rules;
        rules.seen = r.withSeen ? &seen : nullptr;
        rules.key = "k";
        rules.unknownIsNew = r.unknownIsNew;
        rules.previousCount = r.previousCount;
        rules.nameUpTo = r.nameUpTo;
        int countedCalls = 0;
        const CheckOutcome got = CheckMailbox(*box, rules, [&](const CheckOutcome& o) {
            ++countedCalls;
            EXPECT_TRUE(o.named.empty()) << "counted comes before the naming";
        });
        box->Close();
        EXPECT_EQ(countedCalls, 1);
        EXPECT_EQ(got.listing.count, 2);
        EXPECT_EQ(got.any, r.any);
        EXPECT_EQ(got.idsKnown, r.idsKnown);
        std::string fresh, named;
        for (const ListedMessage& m : got.fresh)
            fresh += std::to_string(m.number) + "|";
        for (const NewMailHeaders& h : got.named)
            named += h.subject + "|";
        EXPECT_EQ(fresh, r.fresh);
        EXPECT_EQ(named, r.named);
        EXPECT_EQ(seen.IdCount("k"), r.withSeen ? 2u : r.seenHoldsA ? 1u : 0u) << "the listing is recorded";
        ASSERT_TRUE(peer.finish());
        EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    }
}

TEST(AccountCheck, AnImapCheckNamesItsNewMessagesWithOneFetch)
{
    const std::string status = "C: A3 STATUS \"INBOX\" (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)\n";
    const struct {
        const char* what;
        std::string statusReply;
    } rows[] = {
        {"status told", "S: * STATUS INBOX (MESSAGES 4 UNSEEN 3 UIDNEXT 15 UIDVALIDITY 77)\nS: A3 OK done\n"},
        {"status refused on the mailbox opened", "S: A3 NO not on the mailbox selected\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ScriptedPeer peer(
            "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\n"
            "C: A1 AUTHENTICATE PLAIN AGpvZQB3b3Jk\n"
            "S: A1 OK [CAPABILITY IMAP4rev1 UIDPLUS] in\n"
            "C: A2 EXAMINE \"INBOX\"\n"
            "S: * 4 EXISTS\nS: * OK [UIDVALIDITY 77] ok\nS: A2 OK [READ-ONLY] done\n" +
            status + r.statusReply +
            "C: A4 UID SEARCH UNSEEN\n"
            "S: * SEARCH 11 12 14\nS: A4 OK done\n"
            "C: A5 UID FETCH 12,14 (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])\n"
            "S: * 3 FETCH (UID 14 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] \"Subject: late\")\n"
            "S: * 2 FETCH (UID 12 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] \"Subject: early\")\n"
            "S: A5 OK done\n"
            "C: A6 LOGOUT\nS: * BYE\nS: A6 OK bye\n");
        MailAccount account{"Home", "imap://127.0.0.1:" + std::to_string(peer.port()), "joe", ReadAccountAuth("word")};
        std::unique_ptr<Mailbox> box = MakeMailbox(account);
        box->SetTimeout(2000);
        SeenIds seen;
        seen.Update("k", "77", {{1, "77.11"}}, false);
        CheckRules rules;
        rules.seen = &seen;
        rules.key = "k";
        rules.nameUpTo = 5;
        const CheckOutcome got = CheckMailbox(*box, rules);
        box->Close();
        EXPECT_EQ(got.listing.count, 3);
        ASSERT_EQ(got.fresh.size(), 2u);
        EXPECT_EQ(got.fresh[0].number, 2);
        EXPECT_EQ(got.fresh[1].number, 3);
        ASSERT_EQ(got.named.size(), 2u);
        EXPECT_EQ(got.named[0].subject, "early");
        EXPECT_EQ(got.named[1].subject, "late");
        ASSERT_TRUE(peer.finish());
        EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    }
}

} // namespace
} // namespace pelko
