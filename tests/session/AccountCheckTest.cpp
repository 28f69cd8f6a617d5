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

} // namespace
} // namespace pelko
