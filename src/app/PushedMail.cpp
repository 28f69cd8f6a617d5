// TPelko: the IMAP accounts watched on connections of their own (IDLE).
// Their news comes as events on the window's thread; while an exchange of
// the session runs, it waits for its end (the session's record of the ids
// seen belongs to that exchange meanwhile).
#include "app/Pelko.h"

#include "config/CertificatePins.h"
#include "session/MailAccount.h"
#include "skinqt/SkinImage.h"

#include <QPointer>

#include <utility>

namespace pelko {

void TPelko::ConnectWatch()
{
    watch_ = std::make_unique<MailWatch>(PostToWindow());
    watch_->OnNewMail = [this](const WatchNews& news) { WhenIdle([this, news] { TellPushedMail(news); }); };
    watch_->OnCount = [this](const WatchCount& count) { WhenIdle([this, count] { ShowPushedCount(count); }); };
    watch_->OnState = [this](const WatchStateEvent& e) {
        // A watched account is left out of the timer's turn, also while its
        // connection is opened (again): the watch tells what came meanwhile.
        // One whose watch gave up, or whose server cannot watch, is checked
        // on the timer again.
        if (e.state == WatchState::NoIdle || e.state == WatchState::Failed)
            watched_.erase(int32_t(e.account));
    };
}

void TPelko::StartWatching()
{
    std::vector<WatchedAccount> accounts;
    const std::string pins = c_.ProgramDir + kPinsFileName;
    for (int32_t i = 1; i <= c_.AccCount; ++i) {
        const TPOPAcc& record = c_.Accounts[size_t(i)];
        if (record.inactive)
            continue;
        WatchedAccount w;
        w.index = size_t(i);
        w.account = AccountOf(record);
        if (!Watchable(w.account))
            continue;
        // Read on the watch's own thread: only the file and copies.
        w.trustedCertificate = [pins, name = record.acc_name](const std::string& host, uint16_t port) {
            return FindPinnedCertificate(pins, name, host, port);
        };
        accounts.push_back(std::move(w));
    }
    watched_.clear();
    if (accounts.empty()) {
        watch_->Stop();
        return;
    }
    // From now on what arrives there is the watch's to tell, never a check's
    // as well.
    for (const WatchedAccount& w : accounts)
        watched_.insert(int32_t(w.index));
    watch_->Start(accounts, session_.SeenRecord());
}

void TPelko::StopWatching()
{
    watch_->Stop();
    watched_.clear();
    heldEvents_.clear();
}

void TPelko::WhenIdle(std::function<void()> fn)
{
    if (session_.Busy())
        heldEvents_.push_back(std::move(fn));
    else
        Guarded(fn);
}

void TPelko::RunHeldEvents()
{
    std::vector<std::function<void()>> held = std::move(heldEvents_);
    heldEvents_.clear();
    for (const auto& fn : held)
        Guarded(fn);
}

void TPelko::ShowPushedCount(const WatchCount& count)
{
    const int32_t account = int32_t(count.account);
    session_.RecordWatched(account, count);
    if (count.unseen <= 0) {
        newMailAccounts_.erase(account);
        if (newMailAccounts_.empty()) {
            FLAG->loadPicture(skin_.nomail);
            FLAG->setHint("empty");
        }
    }
    if (account == session_.CurAcc()) {
        ShowResultStatus();
        DrawCount(c_.MsgCount);
    }
    ShowCountHint();
    ShowTrayState();
}

void TPelko::TellPushedMail(const WatchNews& news)
{
    const int32_t account = int32_t(news.account);
    if (account < 1 || account > c_.AccCount || news.newCount == 0)
        return;
    const std::string name = c_.Accounts[size_t(account)].acc_name;
    newMailAccounts_.insert(account);
    FLAG->loadPicture(skin_.gotmail);
    FLAG->setHint("You have mail");
    if (c_.settings.playsnd && !c_.settings.wavsnd.empty())
        p_.playSound(c_.settings.wavsnd);
    if (!c_.settings.notify) {
        ShowTrayState();
        return;
    }
    const size_t n = news.newCount;
    std::string body = name + ": " + std::to_string(n) + (n == 1 ? " new message" : " new messages");
    constexpr size_t kNamedInNotice = 5;
    size_t named = 0;
    for (const WatchedMessage& m : news.messages) {
        if (named == kNamedInNotice)
            break;
        body += "\n" + (m.from.empty() ? std::string("?") : m.from) + " \xE2\x80\x94 " + m.subject;
        ++named;
    }
    if (n > named)
        body += "\nand " + std::to_string(n - named) + " more";
    // A click opens the message window on that account's first unseen message.
    NewMailMark mark;
    mark.accountKey = SeenIds::Key(c_.Accounts[size_t(account)]);
    p_.setNotificationAction([self = QPointer<TPelko>(this), mark] {
        if (self)
            self->OpenNewMail(mark);
    });
    p_.notify("Pelko: new mail", body);
    ShowTrayState();
}

} // namespace pelko
