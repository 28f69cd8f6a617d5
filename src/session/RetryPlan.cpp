#include "session/RetryPlan.h"

#include "wire/WireErrors.h"

#include <algorithm>
#include <ctime>
#include <iterator>

namespace pelko {

FailureKind FailureKindOf(const std::exception& e)
{
    return dynamic_cast<const EWireSignInRefused*>(&e) ? FailureKind::SignInRefused : FailureKind::Connection;
}

void RetryPlan::Started(int32_t account)
{
    accounts_[account].started = Now();
}

void RetryPlan::Succeeded(int32_t account)
{
    accounts_.erase(account);
}

void RetryPlan::Failed(int32_t account, FailureKind kind)
{
    Account& a = accounts_[account];
    if (a.started == TimePoint{})
        a.started = Now();
    if (kind == FailureKind::SignInRefused) {
        a.refused = true;
        a.started = TimePoint{};
        return;
    }
    a.refused = false;
    // 1, 2, 4, ... minutes; the shift stops well before it could overflow.
    const int doublings = std::min(a.failures, 5);
    a.failures = std::min(a.failures + 1, 100);
    const auto pause = std::min<std::chrono::minutes>(kFirstPause * (1 << doublings), kLongestPause);
    a.nextTry = a.started + pause;
    a.started = TimePoint{};
}

bool RetryPlan::MayTry(int32_t account) const
{
    const auto it = accounts_.find(account);
    if (it == accounts_.end())
        return true;
    const Account& a = it->second;
    return !a.refused && PauseOver(a);
}

void RetryPlan::Reset(int32_t account)
{
    accounts_.erase(account);
}

void RetryPlan::ResetAll()
{
    accounts_.clear();
}

void RetryPlan::ForgetPauses()
{
    for (auto it = accounts_.begin(); it != accounts_.end();)
        it = it->second.refused ? std::next(it) : accounts_.erase(it);
}

std::string RetryPlan::WaitText(int32_t account) const
{
    const auto it = accounts_.find(account);
    if (it == accounts_.end())
        return {};
    const Account& a = it->second;
    if (a.refused)
        return "sign-in refused";
    if (PauseOver(a))
        return {};
    const std::time_t t = Clock::to_time_t(a.nextTry);
    std::tm local{};
    char text[8] = {};
    if (!localtime_r(&t, &local) || !std::strftime(text, sizeof text, "%H:%M", &local))
        return "next try later";
    return std::string("next try at ") + text;
}

} // namespace pelko
