#include "PrivateBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cstdlib>

namespace pelko::test {

PrivateBus::PrivateBus(const QString& fakeScript)
{
    const QString support = QString::fromLocal8Bit(std::getenv("PELKO_SOURCE_DIR")) + QStringLiteral("/tests/support/");
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + support + QStringLiteral("private-system-bus.conf"),
                                                  QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                                                  QStringLiteral("--print-address=1")});
    QDeadlineTimer deadline(10000);
    while (!daemon_.canReadLine() && !deadline.hasExpired() && daemon_.state() != QProcess::NotRunning)
        daemon_.waitForReadyRead(int(deadline.remainingTime()));
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        return;
    fake_.start(QStringLiteral("/usr/bin/python3"), {support + fakeScript, address_});
    while (!fake_.canReadLine() && !deadline.hasExpired() && fake_.state() != QProcess::NotRunning)
        fake_.waitForReadyRead(int(deadline.remainingTime()));
    if (fake_.readLine().trimmed() != "ready")
        return;
    bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("pelko-test-bus")));
    ok_ = bus_->isConnected();
}

PrivateBus::~PrivateBus()
{
    if (bus_) {
        *bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("pelko-test-bus"));
    }
    for (QProcess* p : {&fake_, &daemon_}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(3000))
            p->kill();
        p->waitForFinished(3000);
    }
}

QDBusMessage PrivateBus::call(const QString& service, const QString& path, const QString& interface, const QString& method,
                              const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(args);
    return bus_->call(m, QDBus::Block, 5000);
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    // The loop wakes for each event, and at least every 10 ms to ask again.
    QTimer tick;
    tick.start(10);
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace pelko::test
