#pragma once
// A bus of the test's own (dbus-daemon, no service files read) with one of
// the test's fake services on it (tests/support/fake-*.py).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>

#include <functional>
#include <memory>

namespace pelko::test {

class PrivateBus {
public:
    // Starts the bus and the fake (a script name of tests/support); ok()
    // tells whether both are up.
    explicit PrivateBus(const QString& fakeScript);
    ~PrivateBus();

    bool ok() const { return ok_; }
    QString address() const { return address_; }
    // Calls a method of the fake and waits for its answer.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {});

private:
    QProcess daemon_, fake_;
    QString address_;
    bool ok_ = false;
    std::unique_ptr<QDBusConnection> bus_;
};

// Runs the event loop until done() holds or ms have passed; done()'s last answer.
bool WaitFor(const std::function<bool()>& done, int ms = 5000);

} // namespace pelko::test
