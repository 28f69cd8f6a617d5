#pragma once
// What the message window needs from the window that owns the mail
// session: the session itself, the shared values and desktop services, the
// recount after a new login, the check timer and the program's error
// handling.
#include "session/MailSession.h"
#include "config/Commun.h"
#include "platform/Platform.h"
#include "skin/SkinModel.h"

#include <functional>

namespace pelko {

struct TMsgListOwner {
    virtual ~TMsgListOwner() = default;
    virtual MailSession& Session() = 0;
    virtual Commun& commun() = 0;
    virtual Platform& platform() = 0;
    // The message-window half of the skin the main window read.
    virtual MsgWindowSkin& msgSkin() = 0;
    // Counts again on the connection just logged in to and shows the result.
    // Runs inside an exchange (on the session's thread).
    virtual void CheckMail(bool NextAccount) = 0;
    virtual bool TimerEnabled() const = 0;
    virtual void SetTimerEnabled(bool on) = 0;
    // Runs a handler body: errors are shown in a message box, a fatal one
    // ends the program. false when the body was cut short.
    virtual bool Guarded(const std::function<void()>& body) = 0;
    // Starts work as one exchange with the server that the user started, on
    // the session's thread, and returns: a failure is shown in a message box
    // naming the account, a cancellation ends it quietly; then runs on the
    // window's thread once it has ended (completed: it ran to its end).
    // false, and nothing started, while another exchange runs.
    virtual bool HandExchange(std::function<void()> work, std::function<void(bool completed)> then) = 0;
};

} // namespace pelko
