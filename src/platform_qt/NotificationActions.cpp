#include "platform_qt/NotificationActions.h"

#include <QDBusConnection>
#include <QTimer>

namespace pelko {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

QStringList NotificationActions::nextActions() const
{
    if (!next_)
        return {};
    return {QStringLiteral("default"), QStringLiteral("Open")};
}

void NotificationActions::sent(QDBusConnection& bus, uint32_t id)
{
    if (!next_)
        return;
    if (!following_) {
        // Signals of the server that owns the name, not of any sender.
        const bool a = bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                   SLOT(actionInvoked(uint, QString)));
        const bool c = bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                                   SLOT(closed(uint, uint)));
        following_ = a && c;
    }
    // A server may give an id again (replacing): the latest action holds.
    for (auto it = order_.begin(); it != order_.end(); ++it)
        if (it->second == id) {
            order_.erase(it);
            break;
        }
    byId_[id] = next_;
    order_[sentCount_++] = id;
    while (byId_.size() > kMaxKept) {
        byId_.erase(order_.begin()->second);
        order_.erase(order_.begin());
    }
}

void NotificationActions::actionInvoked(uint id, const QString& key)
{
    if (key != QLatin1String("default"))
        return;
    const auto it = byId_.find(id);
    if (it == byId_.end())
        return;
    std::function<void()> action = std::move(it->second);
    closed(id, 0);
    // From the event loop: never inside the bus's own dispatching.
    QTimer::singleShot(0, this, std::move(action));
}

void NotificationActions::closed(uint id, uint)
{
    if (byId_.erase(id) == 0)
        return;
    for (auto it = order_.begin(); it != order_.end(); ++it)
        if (it->second == id) {
            order_.erase(it);
            break;
        }
}

} // namespace pelko
