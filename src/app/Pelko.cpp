// TPelko: the rule that keeps one exchange at a time on the connection, and
// how exchanges end. Clicks and ticks that arrive while the message pump
// runs inside an exchange are dropped, except Disconnect and close: those
// call the exchange off and run as soon as it has ended.
#include "app/Pelko.h"

#include "app/CertificateBox.h"
#include "config/CertificatePins.h"
#include "config/IniLookup.h"
#include "platform/HandlerGuard.h"
#include "skinqt/SkinImage.h"
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
    return EndExchange(exchange, [this](const std::string& why) {
        if (!OfferCertificateTrust(p_, why, session_.AccountLine(), AccountName(), c_.ProgramDir + kPinsFileName))
            p_.messageBox(why + "\r" + session_.AccountLine());
    });
}

void TPelko::AutoExchange(const std::function<void()>& body)
{
    EndExchange([&] { session_.Run(body); }, [this](const std::string& why) { ShowAccountFailure(why); });
}

bool TPelko::EndExchange(const std::function<void()>& exchange, const std::function<void(const std::string&)>& failed)
{
    bool completed = false;
    Guarded([&] {
        try {
            exchange();
            completed = true;
        } catch (const EWireCancelled&) {
            // Called off by the user: nothing to report.
        } catch (const EWireException& e) {
            failed(e.what());
        }
    });
    LampAfterExchange();
    return completed;
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
    session_.RecordFailure(text);
    ShowResultStatus();
    ShowCountHint();
    ShowTrayState();
}

} // namespace pelko
