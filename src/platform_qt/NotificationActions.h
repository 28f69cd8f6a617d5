#pragma once
// The clicks on our desktop notifications: which notification (by the id the
// notification server gave it) runs which action, followed through the
// server's ActionInvoked and NotificationClosed signals.
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>

class QDBusConnection;

namespace pelko {

class NotificationActions : public QObject {
    Q_OBJECT
public:
    // Notifications remembered at most; the oldest is forgotten first.
    static constexpr size_t kMaxKept = 32;

    // The action the next notifications are sent with (nullptr: none).
    void setNext(std::function<void()> action) { next_ = std::move(action); }
    // The actions list of the next notification: the default action (a click
    // on the notification) when there is something to run.
    QStringList nextActions() const;
    // The notification just sent got id: it runs the action it was sent
    // with. Starts following the server's signals on bus the first time.
    void sent(QDBusConnection& bus, uint32_t id);
    bool following() const { return following_; }

public slots:
    // The server's signals. Anything but "default" for a notification of
    // ours is ignored.
    void actionInvoked(uint id, const QString& key);
    void closed(uint id, uint reason);

private:
    std::function<void()> next_;
    std::map<uint32_t, std::function<void()>> byId_;
    std::map<uint64_t, uint32_t> order_; // sending order -> id, to forget the oldest
    uint64_t sentCount_ = 0;
    bool following_ = false;
};

} // namespace pelko
