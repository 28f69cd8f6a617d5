// TPelko: the rule that keeps one exchange at a time on the connection, and
// how exchanges end. Clicks and ticks that arrive while the message pump
// runs inside an exchange are dropped, except Disconnect and close: those
// call the exchange off and run as soon as it has ended.
#include "app/Pelko.h"

#include "app/HandlerGuard.h"
#include "config/IniLookup.h"
#include "skin/qt/SkinImage.h"
#include "wire/WireErrors.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace pelko {

void TPelko::RunPendingActions()
{
    if (session_.Busy())
        return; // the exchange now running posts this again when it ends
    if (disconnectPending_) {
        disconnectPending_ = false;
        Guarded([this] { DoDisconnect(); });
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void TPelko::PumpEvents()
{
    QCoreApplication::processEvents();
}

bool TPelko::HandExchange(const std::function<void()>& body)
{
    return ReportExchange([&] { session_.Run(body); });
}

bool TPelko::ReportExchange(const std::function<void()>& exchange)
{
    bool completed = false;
    Guarded([&] {
        try {
            exchange();
            completed = true;
        } catch (const EWireCancelled&) {
            // Called off by the user: nothing to report.
        } catch (const EWireException& e) {
            p_.messageBox(std::string(e.what()) + "\r" + session_.AccountLine());
        }
    });
    LampAfterExchange();
    return completed;
}

void TPelko::AutoExchange(const std::function<void()>& body)
{
    Guarded([&] {
        try {
            session_.Run(body);
        } catch (const EWireCancelled&) {
        } catch (const EWireException& e) {
            ShowAccountFailure(e.what());
        }
    });
    LampAfterExchange();
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
    DrawStatus(AccountName() + "-" + LTrimSpaces(text));
    if (session_.CurAcc() == c_.FirstActiveAcc)
        NBMSGBMP->setHint("");
    AppendCountHint(AccountName() + " : error: " + text);
    ShowTrayState();
    ShowLamp();
}

void TPelko::AppendCountHint(const std::string& line)
{
    NBMSGBMP->setHint(NBMSGBMP->hint().empty() ? line : NBMSGBMP->hint() + "\r" + line);
}

} // namespace pelko
