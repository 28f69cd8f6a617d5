#pragma once
// Lets the exchanges with the servers that a window started run to their
// end: they run on the session's thread, and what they hand over to the
// window, and their end, arrive as events on this one.
#include "app/Pelko.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

namespace pelko {

inline bool anyExchangeRuns()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (const auto* main = qobject_cast<const TPelko*>(w); main && main->PopIsBusy())
            return true;
    return false;
}

inline void awaitExchanges(int limitMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (anyExchangeRuns() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace pelko
