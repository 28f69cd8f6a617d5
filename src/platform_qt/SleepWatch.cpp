#include "platform_qt/SleepWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

namespace pelko {

namespace {
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
// How long the login manager may take to answer Inhibit.
constexpr int kCallTimeoutMs = 5000;
} // namespace

QString SleepWatch::SystemBusAddress()
{
    const QByteArray env = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return env.isEmpty() ? QStringLiteral("unix:path=/run/dbus/system_bus_socket") : QString::fromUtf8(env);
}

SleepWatch::SleepWatch(const QString& busAddress, int releaseBoundMs, QObject* parent)
    : QObject(parent),
      // A connection of our own: what the tests point it at stays apart from
      // the process's system bus connection.
      bus_(QDBusConnection::connectToBus(busAddress, QStringLiteral("pelko-sleep-%1").arg(quintptr(this))))
{
    bound_.setSingleShot(true);
    bound_.setInterval(releaseBoundMs);
    connect(&bound_, &QTimer::timeout, this, [this] { releaseLock(); });
    if (!bus_.isConnected())
        return;
    bus_.connect(kLogin, kPath, kManager, QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
}

SleepWatch::~SleepWatch()
{
    releaseLock();
    const QString name = bus_.name();
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
}

void SleepWatch::setHandlers(std::function<void()> beforeSleep, std::function<void()> afterWake)
{
    beforeSleep_ = std::move(beforeSleep);
    afterWake_ = std::move(afterWake);
    if (beforeSleep_ && !sleeping_)
        takeLock();
    else if (!beforeSleep_)
        releaseLock();
}

void SleepWatch::ready()
{
    // Only an answer to a sleep lets the lock go: while awake it stays, so
    // that the next sleep waits for us too.
    if (sleeping_)
        releaseLock();
}

void SleepWatch::takeLock()
{
    if (lockFd_ >= 0 || asking_ || !bus_.isConnected())
        return;
    QDBusMessage m = QDBusMessage::createMethodCall(kLogin, kPath, kManager, QStringLiteral("Inhibit"));
    m << QStringLiteral("sleep") << QStringLiteral("Pelko") << QStringLiteral("Closing the mail connections")
      << QStringLiteral("delay");
    asking_ = true;
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(m, kCallTimeoutMs), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, w] {
        w->deleteLater();
        asking_ = false;
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError() || !reply.value().isValid())
            return; // no login manager, or it refused: the machine sleeps as it likes
        // The lock answered after the machine went to sleep, or after the
        // handlers went, is not wanted any more.
        if (sleeping_ || !beforeSleep_)
            return;
        lockFd_ = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    });
}

void SleepWatch::releaseLock()
{
    bound_.stop();
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

void SleepWatch::prepareForSleep(bool start)
{
    if (start) {
        if (sleeping_)
            return;
        sleeping_ = true;
        if (!beforeSleep_ || lockFd_ < 0) {
            releaseLock();
            if (beforeSleep_)
                beforeSleep_();
            return;
        }
        bound_.start();
        const auto handler = beforeSleep_; // the handler may set other handlers
        handler();
        return;
    }
    if (!sleeping_)
        return;
    sleeping_ = false;
    releaseLock();
    if (beforeSleep_)
        takeLock();
    if (afterWake_) {
        const auto handler = afterWake_;
        handler();
    }
}

} // namespace pelko
