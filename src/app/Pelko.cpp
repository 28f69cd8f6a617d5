// TPelko: the rule that keeps one exchange at a time on the connection.
// Clicks and ticks that arrive while the message pump runs inside an
// exchange are held back (Disconnect, close) or dropped (the rest).
#include "app/Pelko.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace pelko {

TPelko::PopBusy::PopBusy(TPelko& w) : w_(w)
{
    ++w_.busy_;
}

TPelko::PopBusy::~PopBusy()
{
    if (--w_.busy_ == 0 && (w_.disconnectPending_ || w_.closePending_)) {
        // Held-back commands run from the event loop, never from here.
        TPelko* w = &w_;
        QMetaObject::invokeMethod(w, [w] { w->RunPendingActions(); }, Qt::QueuedConnection);
    }
}

void TPelko::RunPendingActions()
{
    if (busy_ > 0)
        return; // the exchange now running posts this again when it ends
    if (disconnectPending_) {
        disconnectPending_ = false;
        DisconnectClick();
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

} // namespace pelko
