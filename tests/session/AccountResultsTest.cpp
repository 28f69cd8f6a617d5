// The results of the current pass over the accounts, one line each.
#include "session/AccountResults.h"

#include <gtest/gtest.h>

#include <string>

namespace pelko {
namespace {

TEST(AccountResults, OneLinePerAccountAndTheFirstActiveStartsAPass)
{
    constexpr int32_t kFirstActive = 2;
    const struct {
        int32_t account;
        int32_t count; // negative: the check failed
        bool restartBefore;
        std::string lines;
    } rows[] = {
        {3, 4, false, "C : 4"},
        {2, 1, false, "B : 1"}, // the first active account: a new pass
        {3, -1, false, "B : 1\rC : error: refused"},
        {3, 7, false, "B : 1\rC : 7"}, // the same account again: its line is brought up to date
        {4, -1, false, "B : 1\rC : 7\rD : error: refused"},
        {2, 2, false, "B : 2\rD : error: refused"}, // a failure stays until its account is checked again
        {3, 5, false, "B : 2\rC : 5\rD : error: refused"}, // in the accounts' order
        {4, 0, true, "D : 0"},         // after a restart the next result starts afresh
    };
    AccountResults results;
    for (const auto& r : rows) {
        if (r.restartBefore) {
            results.Restart();
            EXPECT_FALSE(results.Pass().empty()) << "the old results stay until the next one";
        }
        AccountResult a;
        a.account = r.account;
        a.name = std::string(1, char('A' + r.account - 1));
        a.failed = r.count < 0;
        a.count = r.count;
        a.error = "refused";
        const auto before = std::chrono::system_clock::now();
        results.Record(a, kFirstActive);
        EXPECT_EQ(results.Lines("\r"), r.lines);
        ASSERT_NE(results.Of(r.account), nullptr);
        EXPECT_GE(results.Of(r.account)->when, before);
    }
    EXPECT_EQ(results.Of(2), nullptr);
}

} // namespace
} // namespace pelko
