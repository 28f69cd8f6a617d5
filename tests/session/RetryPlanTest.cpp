// When a failed account is tried again: pauses after connection failures,
// none after a refused sign-in until the user acts.
#include "ZoneGuard.h"
#include "session/RetryPlan.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace pelko {
namespace {

TEST(RetryPlan, PausesDoubleUpToHalfAnHourAndARefusalWaitsForTheUser)
{
    test::ZoneGuard zone("UTC0");
    // 14:00:00 UTC on a day of 2026.
    const auto start = RetryPlan::TimePoint{} + std::chrono::seconds(1796392800);
    auto now = start;
    RetryPlan plan;
    plan.SetClock([&] { return now; });

    enum Step { Turn, Ok, Down, Refused, Click, Edited, Woken };
    const struct {
        double minute; // when the step starts, counted from 14:00
        Step step;
        bool mayTry;   // a turn may take the account once the step is over
        std::string wait;
    } rows[] = {
        {0, Down, false, "next try at 14:01"}, // each failed attempt takes half a minute
        {0.9, Turn, false, "next try at 14:01"},
        {0.95, Turn, true, ""},                 // a turn a moment early takes it
        {1, Turn, true, ""},                    // the pause counts from the start of the attempt
        {1, Down, false, "next try at 14:03"},
        {3, Down, false, "next try at 14:07"},
        {7, Down, false, "next try at 14:15"},
        {15, Down, false, "next try at 14:31"},
        {31, Down, false, "next try at 15:01"}, // 32 minutes would be next: 30 is the longest
        {61, Down, false, "next try at 15:31"},
        {91, Ok, true, ""},                     // a success ends the pauses
        {92, Down, false, "next try at 15:33"}, // and the next failure starts at one minute again
        {92.5, Woken, true, ""},                // waking or another network forgets the pauses
        {92.5, Down, false, "next try at 15:33"},
        {93, Click, true, ""},                  // a click tries at once
        {93, Refused, false, "sign-in refused"},
        {500, Turn, false, "sign-in refused"},  // no pause ends a refusal
        {500, Woken, false, "sign-in refused"}, // nor does waking
        {500, Edited, true, ""},
    };
    for (const auto& r : rows) {
        const auto at = [&](double minute) {
            now = start + std::chrono::duration_cast<RetryPlan::Clock::duration>(
                              std::chrono::duration<double>(minute * 60));
        };
        at(r.minute);
        switch (r.step) {
        case Turn: break;
        case Ok: plan.Succeeded(7); break;
        case Down:
            plan.Started(7);
            at(r.minute + 0.5);
            plan.Failed(7, FailureKindOf(EWireSocketError(10060, "Socket Error # 10060\rConnection timed out.")));
            break;
        case Refused:
            plan.Started(7);
            at(r.minute + 0.5);
            plan.Failed(7, FailureKindOf(EWireSignInRefused("-ERR [AUTH] Authentication failed.")));
            break;
        case Click: plan.Reset(7); break;
        case Edited: plan.ResetAll(); break;
        case Woken: plan.ForgetPauses(); break;
        }
        EXPECT_EQ(plan.MayTry(7), r.mayTry) << "minute " << r.minute;
        EXPECT_EQ(plan.WaitText(7), r.wait) << "minute " << r.minute;
        EXPECT_TRUE(plan.MayTry(8)) << "another account keeps its turns";
    }
    // Turns a minute apart: the one nearest the pause's end takes the account.
    plan.SetTurnInterval(std::chrono::minutes(1));
    now = start;
    plan.Started(7);
    plan.Failed(7, FailureKind::Connection); // next try at 14:01
    for (const auto& [seconds, mayTry] : {std::pair{29, false}, std::pair{31, true}}) {
        now = start + std::chrono::seconds(seconds);
        EXPECT_EQ(plan.MayTry(7), mayTry) << seconds << " s after the failure";
    }
}

} // namespace
} // namespace pelko
