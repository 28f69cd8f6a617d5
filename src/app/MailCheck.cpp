// TPelko: the mail check, the rotation over the accounts and what the window
// shows of the connection.
#include "app/Pelko.h"

#include "config/IniLookup.h"
#include "configdialog/ConfigDialog.h"
#include "skin/SkinMessages.h"
#include "mime/Readable.h"
#include "skin/FontLayout.h"
#include "skinqt/FontRender.h"
#include "skinqt/SkinImage.h"
#include "wire/WireErrors.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace pelko {

void TPelko::SetTimerEnabled(bool on)
{
    // A running timer keeps its countdown: a Connect click or a settings
    // rebuild must not push the next check a whole period away.
    if (on && Timer->interval() > 0) {
        if (!Timer->isActive())
            Timer->start();
    } else {
        Timer->stop();
    }
}

bool TPelko::TimerEnabled() const
{
    return Timer->isActive();
}

void TPelko::DrawStatus(const std::string& text)
{
    statusText_ = text;
    DrawFontText(*STATBMP, text, skin_.statusSize.x, skin_.statusSize.y, skin_.fontbmp, skin_.maxchar, true);
    // A double click anywhere on the status line counts, however short the
    // text on it now.
    const int lineWidth =
        LayoutFontText(std::string(size_t(std::max(skin_.maxchar, 0)), ' '), skin_.statusSize.x,
                       skin_.statusSize.y, skin_.maxchar, true)
            .width;
    if (STATBMP->width() < lineWidth)
        STATBMP->resize(lineWidth, STATBMP->height());
}

void TPelko::DrawCount(int32_t count)
{
    DrawFontText(*NBMSGBMP, std::to_string(count), skin_.nbmsgSize.x, skin_.nbmsgSize.y, skin_.nbmsgbmp, skin_.maxchar,
                 false);
}

void TPelko::POPStatus(const std::string& account, const std::string& sOut)
{
    // The sender and subject of a message just fetched are shown decoded,
    // as the message window shows them.
    for (const char* field : {"    From: ", "    Subject: "}) {
        const std::string prefix = field;
        if (sOut.compare(0, prefix.size(), prefix) == 0) {
            DrawStatus(account + "-" + LTrimSpaces(prefix) + DecodeHeaderWords(sOut.substr(prefix.size())));
            return;
        }
    }
    DrawStatus(account + "-" + LTrimSpaces(sOut));
}

void TPelko::ShowMessageCount(int32_t count)
{
    DrawStatus(AccountName() + "-" + std::to_string(count) + (count == 1 ? " message" : " messages"));
}

void TPelko::ShowCountStatus()
{
    if (c_.MsgCount <= 0)
        DrawStatus(AccountName() + "-" + "empty");
    else
        ShowMessageCount(c_.MsgCount);
}

void TPelko::ShowResultStatus()
{
    const AccountResult* r = session_.Results().Of(session_.CurAcc());
    if (!r)
        ShowCountStatus();
    else if (r->failed)
        DrawStatus(r->name + "-" + LTrimSpaces(r->error));
    else if (r->count <= 0)
        DrawStatus(r->name + "-" + "empty");
    else
        ShowMessageCount(r->count);
}

void TPelko::StatusAfterMessageWindow()
{
    // The status line told what the message window fetched; the account's
    // count comes back (a connection the window lost keeps its last word).
    if (!session_.Busy() && session_.Connected())
        ShowCountStatus();
}

void TPelko::ShowLamp()
{
    const bool on = session_.Connected();
    Online->setHint(on ? "Connected" : "Disconnected");
    try {
        Online->loadPicture(on ? skin_.onlinebmp : skin_.notonlinebmp);
    } catch (const std::exception&) {
        if (on)
            session_.Close();
        p_.fatalEnd(on ? kSkinOnlineInvalid : kSkinNotOnlineInvalid);
    }
}

void TPelko::ShowConnectionState()
{
    try {
        FLAG->loadPicture(skin_.nomail);
    } catch (const std::exception&) {
        session_.Close();
        p_.fatalEnd(kSkinYouHaveMailInvalid);
    }
    if (session_.Connected()) {
        DrawStatus("Connected");
        DrawCount(c_.MsgCount);
    } else {
        DrawStatus("Disconnected");
        DrawCount(0);
        SetTimerEnabled(false);
    }
    ShowLamp();
}

void TPelko::CheckMail(bool NextAccount)
{
    // A failed check closes its connection; while the timer runs, the next
    // check goes on with the next account all the same.
    bool go = false;
    session_.Show([&] {
        const bool resume = NextAccount && !session_.Connected() && TimerEnabled() && HasActiveAccount_;
        go = session_.Connected() || resume;
        Online->setHint(session_.Connected() ? "Connected" : "Disconnected");
        if (!go)
            ShowConnectionState();
    });
    if (!go)
        return;

    if (NextAccount) {
        // Each account is looked at most once: with no active account among
        // several (or none at all) the check stays on the open connection.
        if (session_.MoveToNextAccount()) {
            session_.Close(); // the check signs in to the next account
            session_.Show([this] { retry_.Started(session_.CurAcc()); });
        } else if (!session_.Connected()) {
            session_.Show([this] { ShowConnectionState(); });
            return;
        }
    }

    // The notification names the first new messages by sender and subject.
    constexpr size_t kNamedInNotice = 5;
    const bool notify = c_.settings.notify;
    const CheckOutcome got = session_.CheckAccount(
        notify ? kNamedInNotice : 0,
        [this](const CheckOutcome& counted) { session_.Show([&] { ShowCheck(counted); }); });
    session_.Show([&] {
        if (got.any && got.listing.count > 0 && notify)
            NotifyNewMail(got);
        DrawCount(c_.MsgCount);
        ShowTrayState();
    });
}

void TPelko::ShowCheck(const CheckOutcome& got)
{
    ShowCountHint();

    // New mail is what the account did not list at its previous check (or,
    // without ids, a count above the account's own previous one); it is
    // told once, by picture, sound and notification together.
    ShowResultStatus();
    if (got.listing.count <= 0) {
        newMailAccounts_.erase(session_.CurAcc());
        if (newMailAccounts_.empty()) {
            FLAG->loadPicture(skin_.nomail);
            FLAG->setHint("empty");
        }
    } else if (got.any) {
        newMailAccounts_.insert(session_.CurAcc());
        newMail_.Take(c_, session_.CurAcc(), got);
        FLAG->loadPicture(skin_.gotmail);
        FLAG->setHint("You have mail");
        if (c_.settings.playsnd && !c_.settings.wavsnd.empty())
            p_.playSound(c_.settings.wavsnd);
    }
}

void TPelko::ShowCountHint()
{
    NBMSGBMP->setHint(session_.Results().Lines("\r"));
}

void TPelko::ShowTrayState()
{
    std::string tip = TrayTip();
    std::string lines = session_.Results().Lines("\n");
    for (char& ch : lines)
        if (ch == '\r')
            ch = '\n';
    if (!lines.empty())
        tip += "\n" + lines;
    p_.trayShow(tip, !newMailAccounts_.empty());
}

void TPelko::MailSeen()
{
    newMail_.Clear();
    if (newMailAccounts_.empty())
        return;
    newMailAccounts_.clear();
    FLAG->loadPicture(skin_.nomail);
    FLAG->setHint("");
    ShowTrayState();
}

void TPelko::NotifyNewMail(const CheckOutcome& got)
{
    const int32_t count = got.listing.count;
    std::string body;
    if (!got.idsKnown) {
        // Only the count tells: the newest message is named.
        body = AccountName() + ": " + std::to_string(count) + (count == 1 ? " message" : " messages");
        const NewMailHeaders h = got.named.empty() ? NewMailHeaders{} : got.named.front();
        if (!h.from.empty())
            body += "\nFrom: " + h.from;
        if (!h.subject.empty())
            body += "\nSubject: " + h.subject;
    } else {
        // What could be named is named (a failed fetch ends the naming), the
        // rest is counted.
        const size_t n = got.fresh.size();
        body = AccountName() + ": " + std::to_string(n) + (n == 1 ? " new message" : " new messages");
        for (const NewMailHeaders& h : got.named)
            body += "\n" + (h.from.empty() ? std::string("?") : h.from) + " \xE2\x80\x94 " + h.subject;
        if (n > got.named.size())
            body += "\nand " + std::to_string(n - got.named.size()) + " more";
    }
    p_.setNotificationAction([self = QPointer<TPelko>(this), mark = newMail_.Of(c_, session_.CurAcc())] {
        if (self)
            self->OpenNewMail(mark);
    });
    p_.notify("Pelko: new mail", body);
}

void TPelko::ConnectClick()
{
    if (session_.Busy())
        return; // an exchange is running: a second one would mix with it
    if (!HasActiveAccount_) {
        p_.messageBox("No valid account ! Please create one or activate an existing account.", this);
        return;
    }
    if (offline_) {
        ShowOffline(); // nothing is tried while the machine is offline
        return;
    }
    retry_.ResetAll(); // a click tries at once
    ConnectFrom(session_.CurAcc(), 1);
}

void TPelko::ConnectFrom(int32_t first, int tried)
{
    // A failing account must not keep the others from being checked: each
    // failure is named in a box, then the click goes on with the next active
    // account, each account tried once.
    StartExchange(
        [this] {
            session_.Relogin();
            if (session_.Connected()) {
                session_.ResetPrevCounts(0);
                session_.Show([this] { ShowConnectionState(); });
                CheckMail(false);
            }
        },
        Failures::ToCaller,
        [this, first, tried](const MailSession::Ending& e) {
            if (e.completed()) {
                SetTimerEnabled(c_.settings.autocheck && session_.Connected());
                StartWatching();
            }
            if (e.kind != MailSession::Ending::Kind::Failed || e.error)
                return; // called off (a Disconnect or a close follows) or connected
            p_.messageBox(e.why + "\r" + session_.AccountLine());
            if (closing_ || tried >= c_.AccCount || !session_.MoveToNextAccount() || session_.CurAcc() == first)
                return; // every account failed: the timer keeps the state it had
            ConnectFrom(first, tried + 1);
        });
}

void TPelko::DisconnectClick()
{
    const bool wasBusy = session_.Busy();
    // A running exchange is called off first (within one waiting slice).
    session_.CancelAndWait();
    // Also when the last check failed and left no connection behind: the
    // timer would go on checking.
    Guarded([this, wasBusy] {
        if (wasBusy || session_.Connected() || TimerEnabled())
            DoDisconnect();
    });
}

void TPelko::DoDisconnect()
{
    StopWatching();
    Msg.Clear();
    session_.ResetPrevCounts(0);
    session_.Close();
    ShowConnectionState();
    SetTimerEnabled(false);
}

void TPelko::RefreshBtnClick()
{
    if (session_.Busy())
        return;
    if (offline_) {
        ShowOffline(); // nothing is tried while the machine is offline
        return;
    }
    retry_.ResetAll(); // a click tries at once
    StartCheck(Failures::Boxed);
}

void TPelko::TimerTimer()
{
    // The next tick comes soon enough after an exchange still running; none
    // starts while the accounts are being edited.
    if (config_ && config_->isVisible())
        return;
    // Offline nothing is tried; the accounts watched on connections of
    // their own are told as news arrives, and those that failed wait out
    // their pauses: the turn passes them by.
    if (offline_ || session_.Busy() || !AnyAccountMayTry())
        return;
    StartCheck(Failures::OnStatusLine);
}

void TPelko::RunAutoConnect()
{
    if (!autoConnectPending_)
        return;
    autoConnectPending_ = false;
    if (closing_ || session_.Busy() || session_.Connected() || !HasActiveAccount_ || !c_.settings.autoconnect)
        return;
    if (offline_) {
        // Nothing is tried offline: checking starts once the network is back.
        resumeChecking_ = true;
        ShowOffline();
        SetTimerEnabled(c_.settings.autocheck);
        return;
    }
    StartExchange(
        [this] {
            session_.Login();
            session_.Show([this] { ShowConnectionState(); });
            CheckMail(false);
        },
        Failures::OnStatusLine, [this](const MailSession::Ending&) { StartWatching(); });
    // Also after a failure: the next tick logs in again.
    SetTimerEnabled(c_.settings.autocheck);
}

} // namespace pelko
