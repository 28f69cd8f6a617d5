// TPelko: how exchanges with the servers start and end. They run on the
// session's thread; the window stays painted and answers meanwhile, and
// learns of each exchange's end from the event loop. One runs at a time:
// clicks and ticks that would start another are dropped, except Disconnect
// and close, which call the running one off first.
#include "app/Pelko.h"

#include "app/CertificateBox.h"
#include "config/CertificatePins.h"
#include "config/IniLookup.h"
#include "platform/HandlerGuard.h"
#include "skinqt/SkinImage.h"
#include "wire/WireErrors.h"

#include <QMetaObject>

#include <exception>
#include <utility>

namespace pelko {

std::function<void(std::function<void()>)> TPelko::PostToWindow()
{
    return [this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); };
}

void TPelko::ConnectSessionThread()
{
    // What an exchange tells the window, and its end, come back as events.
    session_.PostToOwner = PostToWindow();
}

bool TPelko::StartExchange(std::function<void()> work, Failures failures,
                           std::function<void(const MailSession::Ending&)> then)
{
    retry_.Started(session_.CurAcc());
    return session_.Start(std::move(work), [this, failures, then = std::move(then)](const MailSession::Ending& e) {
        // The account the exchange ended on waits out a pause after a
        // failure (or, refused, waits for the user).
        if (e.completed())
            retry_.Succeeded(session_.CurAcc());
        else if (e.kind == MailSession::Ending::Kind::Failed && !e.error)
            retry_.Failed(session_.CurAcc(),
                          e.signInRefused ? FailureKind::SignInRefused : FailureKind::Connection);
        if (e.error) {
            // Not the server's doing: the program's own handling of errors.
            Guarded([&] { std::rethrow_exception(e.error); });
        } else if (e.kind == MailSession::Ending::Kind::Failed) {
            Guarded([&] {
                if (failures == Failures::Boxed)
                    ReportFailure(e);
                else if (failures == Failures::OnStatusLine)
                    ShowAccountFailure(e.why);
            });
        }
        LampAfterExchange();
        if (then)
            Guarded([&] { then(e); });
        if (!session_.Busy())
            RunHeldEvents();
    });
}

bool TPelko::HandExchange(std::function<void()> work, std::function<void(bool completed)> then)
{
    return StartExchange(std::move(work), Failures::Boxed, [then = std::move(then)](const MailSession::Ending& e) {
        if (then)
            then(e.completed());
    });
}

void TPelko::ReportFailure(const MailSession::Ending& e)
{
    bool offered = false;
    try {
        std::rethrow_exception(e.raised);
    } catch (...) {
        // A refused certificate is offered for trust (the box names it).
        offered = OfferCertificateTrust(p_, e.why, session_.AccountLine(), AccountName(), c_.ProgramDir + kPinsFileName);
    }
    if (!offered)
        p_.messageBox(e.why + "\r" + session_.AccountLine());
}

void TPelko::LampAfterExchange()
{
    // The lamp follows the connection after every exchange (a failure or a
    // cancellation has closed it).
    if (!session_.Busy() && !closing_)
        Guarded([this] { ShowLamp(); });
}

void TPelko::ShowAccountFailure(const std::string& text)
{
    // The connection is closed by now; the next tick goes on to the next
    // account, and this one is tried again at its turn.
    session_.RecordFailure(FailureText(session_.CurAcc(), text));
    ShowResultStatus();
    ShowCountHint();
    ShowTrayState();
}

} // namespace pelko
