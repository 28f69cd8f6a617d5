#pragma once
// Follows the login manager's announcements of sleep on the system bus
// (logind's PrepareForSleep) and holds a "delay" inhibitor lock meanwhile,
// so that the machine waits for the program to close its connections before
// it sleeps. Without a system bus or a login manager nothing happens.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace pelko {

class SleepWatch : public QObject {
    Q_OBJECT
public:
    // busAddress: the system bus (SystemBusAddress()); releaseBoundMs: how
    // long the machine is kept waiting at most when ready() does not come.
    explicit SleepWatch(const QString& busAddress, int releaseBoundMs = kReleaseBoundMs, QObject* parent = nullptr);
    ~SleepWatch() override;

    // The login manager's default longest delay is 5 s: the lock goes a
    // little before that, so the machine never waits for us in vain.
    static constexpr int kReleaseBoundMs = 4000;

    // DBUS_SYSTEM_BUS_ADDRESS, else the system bus's usual socket.
    static QString SystemBusAddress();

    // beforeSleep: the machine is about to sleep (answer with ready());
    // afterWake: it woke up. Called from the event loop.
    void setHandlers(std::function<void()> beforeSleep, std::function<void()> afterWake);
    // The connections are closed: the machine may sleep now (ignored while
    // no sleep is announced).
    void ready();

    // Whether the inhibitor lock is held now.
    bool holdsLock() const { return lockFd_ >= 0; }

private:
    void prepareForSleep(bool start);
    Q_SLOT void onPrepareForSleep(bool start) { prepareForSleep(start); }
    void takeLock();
    void releaseLock();

    QDBusConnection bus_;
    int lockFd_ = -1;
    bool asking_ = false;   // an Inhibit call is on its way
    bool sleeping_ = false; // between PrepareForSleep(true) and (false)
    QTimer bound_;
    std::function<void()> beforeSleep_, afterWake_;
};

} // namespace pelko
