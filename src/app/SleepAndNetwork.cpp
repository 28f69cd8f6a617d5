// TPelko on a laptop: the machine going to sleep and waking, the network
// going and coming back, and accounts that fail waiting out their pauses.
#include "app/Pelko.h"

#include "skinqt/SkinImage.h"

#include <QTimer>

namespace pelko {

void TPelko::ConnectMachineEvents()
{
    if (closing_)
        return;
    p_.setSleepHandlers([this] { Guarded([this] { GoingToSleep(); }); },
                        [this] { Guarded([this] { WokenUp(); }); });
    p_.setOnlineHandler([this](bool online) { Guarded([this, online] { OnlineChanged(online); }); });
    offline_ = p_.isOnline() == OnlineState::Offline;
}

void TPelko::DisconnectMachineEvents()
{
    p_.setSleepHandlers(nullptr, nullptr);
    p_.setOnlineHandler(nullptr);
}

bool TPelko::Working() const
{
    return session_.Busy() || session_.Connected() || TimerEnabled() || !watched_.empty();
}

void TPelko::EndConnectionsQuietly()
{
    // A check still waiting ends as called off: no box, no error status.
    session_.CancelAndWait();
    StopWatching();
    session_.Close();
}

void TPelko::GoingToSleep()
{
    resumeChecking_ = resumeChecking_ || Working();
    EndConnectionsQuietly();
    ShowLamp();
    p_.sleepReady();
}

void TPelko::WokenUp()
{
    if (!resumeChecking_ || closing_)
        return;
    if (offline_) {
        ShowOffline();
        return; // once the network is back
    }
    resumeChecking_ = false;
    ResumeChecking();
}

void TPelko::OnlineChanged(bool online)
{
    if (closing_)
        return;
    if (!online) {
        if (offline_)
            return;
        offline_ = true;
        resumeChecking_ = resumeChecking_ || Working();
        EndConnectionsQuietly();
        ShowOffline();
        return;
    }
    // Back online, or on another network (the connections may be dead).
    const bool resume = resumeChecking_ || (!offline_ && Working());
    offline_ = false;
    resumeChecking_ = false;
    if (!resume)
        return;
    EndConnectionsQuietly();
    ResumeChecking();
}

void TPelko::ShowOffline()
{
    DrawStatus(AccountName() + "-OFFLINE");
    Online->setHint("Offline");
    ShowLamp();
    NBMSGBMP->setHint("Offline");
    p_.trayShow(TrayTip() + "\nOffline", !newMailAccounts_.empty());
}

void TPelko::ResumeChecking()
{
    // What arrived meanwhile is told once: the watching connections compare
    // with the ids on record, and every other active account is checked now.
    retry_.ForgetPauses();
    StartWatching();
    SetTimerEnabled(c_.settings.autocheck);
    CheckAccountsInTurn(TimerAccountCount());
}

bool TPelko::InTimersTurn(int32_t account) const
{
    return (!c_.Accounts[size_t(account)].inactive || c_.AccCount == 1) && watched_.count(account) == 0;
}

bool TPelko::AnyAccountMayTry() const
{
    for (int32_t i = 1; i <= c_.AccCount; ++i)
        if (InTimersTurn(i) && retry_.MayTry(i))
            return true;
    return false;
}

int TPelko::TimerAccountCount() const
{
    int n = 0;
    for (int32_t i = 1; i <= c_.AccCount; ++i)
        n += InTimersTurn(i);
    return n;
}

void TPelko::CheckAccountsInTurn(int left)
{
    if (left <= 0 || closing_ || offline_)
        return;
    // Exchanges start from the event loop, one after the other.
    QTimer::singleShot(0, this, [this, left] {
        if (session_.Busy()) {
            heldEvents_.push_back([this, left] { CheckAccountsInTurn(left); });
            return;
        }
        StartCheck(Failures::OnStatusLine, [this, left](const MailSession::Ending&) { CheckAccountsInTurn(left - 1); });
    });
}

void TPelko::StartCheck(Failures failures, std::function<void(const MailSession::Ending&)> then)
{
    // The turn passes by the accounts waiting out a pause and, unless a
    // click asks, those watched on connections of their own.
    std::vector<int32_t> passed;
    if (failures != Failures::Boxed)
        passed.assign(watched_.begin(), watched_.end());
    for (int32_t i = 1; i <= c_.AccCount; ++i)
        if (!retry_.MayTry(i))
            passed.push_back(i);
    session_.PassBy(passed);
    StartExchange([this] { CheckMail(true); }, failures, std::move(then));
}

std::string TPelko::FailureText(int32_t account, const std::string& why) const
{
    const std::string wait = retry_.WaitText(account);
    return wait.empty() ? why : why + " (" + wait + ")";
}

} // namespace pelko
