// TPelko: the mail check, the rotation over the accounts and what the window
// shows of the connection.
#include "app/Pelko.h"

#include "config/IniLookup.h"
#include "skin/SkinMessages.h"
#include "skin/qt/FontRender.h"
#include "skin/qt/SkinImage.h"
#include "wire/Readable.h"
#include "wire/WireErrors.h"

#include <QTimer>

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

std::string TPelko::AccountName() const
{
    if (CurAcc_ >= 1 && CurAcc_ <= c_.AccCount)
        return c_.Accounts[size_t(CurAcc_)].acc_name;
    return {};
}

void TPelko::DrawStatus(const std::string& text)
{
    statusText_ = text;
    DrawFontText(*STATBMP, text, skin_.statusSize.x, skin_.statusSize.y, skin_.fontbmp, skin_.maxchar, true);
}

void TPelko::DrawCount(int32_t count)
{
    DrawFontText(*NBMSGBMP, std::to_string(count), skin_.nbmsgSize.x, skin_.nbmsgSize.y, skin_.nbmsgbmp, skin_.maxchar,
                 false);
}

void TPelko::POPStatus(const std::string& sOut)
{
    if (muteStatus_)
        return;
    DrawStatus(AccountName() + "-" + LTrimSpaces(sOut));
}

void TPelko::POPWork()
{
    PumpEvents();
}

void TPelko::ShowMessageCount(int32_t count)
{
    DrawStatus(AccountName() + "-" + std::to_string(count) + (count == 1 ? " message" : " messages"));
}

void TPelko::DisconnectQuietly()
{
    // Sends QUIT and closes; a failing QUIT has closed the socket all the same.
    try {
        POP.Disconnect();
    } catch (const std::exception&) {
    }
}

void TPelko::ShowConnectionState()
{
    try {
        FLAG->loadPicture(skin_.nomail);
    } catch (const std::exception&) {
        DisconnectQuietly();
        p_.fatalEnd(kSkinYouHaveMailInvalid);
    }
    if (POP.Connected()) {
        DrawStatus("Connected");
        PumpEvents();
        DrawCount(c_.MsgCount);
        Online->setHint("Connected");
        try {
            Online->loadPicture(skin_.onlinebmp);
        } catch (const std::exception&) {
            DisconnectQuietly();
            p_.fatalEnd(kSkinOnlineInvalid);
        }
    } else {
        DrawStatus("Disconnected");
        DrawCount(0);
        SetTimerEnabled(false);
        Online->setHint("Disconnected");
        try {
            Online->loadPicture(skin_.notonlinebmp);
        } catch (const std::exception&) {
            p_.fatalEnd(kSkinNotOnlineInvalid);
        }
    }
}

void TPelko::CheckMail(bool NextAccount)
{
    if (!POP.Connected()) {
        Online->setHint("Disconnected");
        ShowConnectionState();
        return;
    }
    Online->setHint("Connected");

    if (NextAccount) {
        // Each account is looked at most once: with no active account among
        // several (or none at all) the check stays on the open connection.
        int next = CurAcc_;
        bool found = false;
        for (int tries = 0; tries < c_.AccCount && !found; ++tries) {
            next = next + 1 > c_.AccCount ? 1 : next + 1;
            found = c_.AccCount == 1 || !c_.Accounts[size_t(next)].inactive;
        }
        if (found) {
            CurAcc_ = next;
            PumpEvents();
            POP.Disconnect();
            const TPOPAcc& acc = c_.Accounts[size_t(CurAcc_)];
            POP.Host = acc.host_name;
            POP.UserID = acc.user_name;
            POP.Password = acc.password;
            POP.Connect();
        }
    }

    const int32_t counted = POP.CheckMessages();
    // A listing that broke off (connection lost, time-out, endless line) is
    // no count of the mailbox: show why instead, as a failed login is shown,
    // and close the connection, which is out of step with the server now. A
    // refusal ("-ERR") still counts as a check that found nothing.
    if (!POP.CheckError.empty() && POP.ResultCode == 1) {
        const std::string why = POP.CheckError;
        DisconnectQuietly();
        throw EWireException(why);
    }
    c_.MsgCount = counted;

    if (CurAcc_ == c_.FirstActiveAcc)
        NBMSGBMP->setHint("");
    const std::string line = AccountName() + " : " + std::to_string(c_.MsgCount);
    NBMSGBMP->setHint(NBMSGBMP->hint().empty() ? line : NBMSGBMP->hint() + "\r" + line);

    PumpEvents();

    if (c_.MsgCount <= 0) {
        DrawStatus(AccountName() + "-" + "empty");
        if (c_.MsgCount != PrevCount_) {
            FLAG->loadPicture(skin_.nomail);
            FLAG->setHint("empty");
        }
    } else {
        ShowMessageCount(c_.MsgCount);
        if (c_.MsgCount > PrevCount_) {
            FLAG->loadPicture(skin_.gotmail);
            FLAG->setHint("You have mail");
            if (c_.settings.playsnd && !c_.settings.wavsnd.empty())
                p_.playSound(c_.settings.wavsnd);
            if (c_.settings.notify)
                NotifyNewMail(c_.MsgCount);
        }
    }

    DrawCount(c_.MsgCount);
    PrevCount_ = c_.MsgCount;
}

void TPelko::NotifyNewMail(int32_t count)
{
    std::string body = AccountName() + ": " + std::to_string(count) + (count == 1 ? " message" : " messages");
    // The newest message's sender and subject, from its header block alone.
    // Whatever goes wrong here only makes the notification shorter.
    muteStatus_ = true;
    try {
        TWireMessage newest;
        if (POP.RetrieveHeaders(count, newest)) {
            const std::string from = DecodeHeaderWords(newest.From());
            const std::string subject = DecodeHeaderWords(newest.Subject());
            if (!from.empty())
                body += "\nFrom: " + from;
            if (!subject.empty())
                body += "\nSubject: " + subject;
        }
    } catch (const std::exception&) {
    }
    muteStatus_ = false;
    p_.notify("Pelko: new mail", body);
}

void TPelko::ConnectClick()
{
    if (busy_ > 0)
        return; // an exchange is running: a second one would mix with it
    Guarded([this] {
        PopBusy busy(*this);
        if (!HasActiveAccount_) {
            p_.messageBox("No valid account ! Please create one or activate an existing account.");
            return;
        }
        if (POP.Connected())
            POP.Disconnect();
        POP.Connect();
        if (POP.Connected()) {
            PrevCount_ = 0;
            ShowConnectionState();
            CheckMail(false);
        }
        SetTimerEnabled(c_.settings.autocheck && POP.Connected());
    });
}

void TPelko::DisconnectClick()
{
    if (busy_ > 0) {
        disconnectPending_ = true; // runs as soon as the running exchange ends
        return;
    }
    Guarded([this] {
        PopBusy busy(*this);
        if (!POP.Connected())
            return;
        Msg.Clear();
        PrevCount_ = 0;
        POP.Disconnect();
        ShowConnectionState();
        SetTimerEnabled(false);
    });
}

void TPelko::RefreshBtnClick()
{
    if (busy_ > 0)
        return;
    Guarded([this] {
        PopBusy busy(*this);
        CheckMail(true);
    });
}

void TPelko::TimerTimer()
{
    if (busy_ > 0)
        return; // the next tick comes soon enough
    Guarded([this] {
        PopBusy busy(*this);
        CheckMail(true);
    });
}

} // namespace pelko
