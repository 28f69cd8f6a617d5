#pragma once
// When an account that failed may be tried again. A connection that failed
// or timed out waits 1, 2, 4, ... minutes (at most 30) before the timer's
// turn may take it again; a refused sign-in waits for the user (an edited
// account, a Connect or check click: Reset, ResetAll), since trying the
// same secret again only brings the account nearer to being locked. A
// success ends the wait, and a click always tries at once.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <string>

namespace pelko {

enum class FailureKind {
    Connection,    // no connection, a time-out, a broken exchange: tried again after a pause
    SignInRefused, // the server refused the user or the secret: not tried again by itself
};

// The kind of a check's failure: EWireSignInRefused is a refused sign-in,
// every other error counts as a connection failure.
FailureKind FailureKindOf(const std::exception& e);

class RetryPlan {
public:
    using Clock = std::chrono::system_clock;
    using TimePoint = Clock::time_point;

    // The pauses after the first, second, ... connection failure in a row.
    static constexpr std::chrono::minutes kFirstPause{1};
    static constexpr std::chrono::minutes kLongestPause{30};
    // The turn nearest a pause's end takes the account: one that comes up to
    // half the turns' interval (at least kTurnSlack) before the end. The timer's turns come whole intervals apart (a long
    // interval's only to the second), and an attempt's start is taken a
    // moment after the turn (or the click) that started it: the turn that
    // ends the pause would otherwise come just before its end, and the pause
    // last a whole interval longer.
    static constexpr std::chrono::seconds kTurnSlack{5};
    void SetTurnInterval(std::chrono::milliseconds interval) { slack_ = std::max<Clock::duration>(interval / 2, kTurnSlack); }

    // Each attempt on an account: Started before it, then Succeeded or
    // Failed. The pause counts from the start of the failed attempt, so a
    // time-out's own wait does not push the next try past the next turn. An
    // attempt called off (Disconnect, Exit, the machine going to sleep) is
    // neither: it changes nothing.
    void Started(int32_t account);
    void Succeeded(int32_t account);
    void Failed(int32_t account, FailureKind kind);

    // Whether the timer's turn may take the account now (false while it
    // waits out a pause or after a refused sign-in). Clicks do not ask: they
    // Reset and try.
    bool MayTry(int32_t account) const;

    // Forgets the account's failures (it was edited, or the user clicked
    // Connect or the check button).
    void Reset(int32_t account);
    // Forgets every account's failures (the account table was read again,
    // so the numbers may name other accounts now).
    void ResetAll();
    // Forgets the pauses after connection failures (the machine woke up or
    // is on another network: the old failures say nothing of this one); a
    // refused sign-in still waits for the user.
    void ForgetPauses();

    // What the status line and the tooltips tell of an account that waits:
    // "sign-in refused", or "next try at 14:05" (local time) while a pause
    // runs; empty when it does not wait.
    std::string WaitText(int32_t account) const;

    // The clock the pauses are measured with (a test hook).
    void SetClock(std::function<TimePoint()> now) { now_ = std::move(now); }

private:
    struct Account {
        TimePoint started{};    // the start of the latest attempt
        int failures = 0;       // connection failures in a row
        bool refused = false;   // the latest failure was a refused sign-in
        TimePoint nextTry{};    // while failures > 0: no turn before this (less kTurnSlack)
    };
    TimePoint Now() const { return now_ ? now_() : Clock::now(); }
    // Whether the account's pause (if any) is over for a turn now.
    bool PauseOver(const Account& a) const { return a.failures == 0 || Now() + slack_ >= a.nextTry; }

    std::map<int32_t, Account> accounts_;
    std::function<TimePoint()> now_;
    Clock::duration slack_ = kTurnSlack;
};

} // namespace pelko
