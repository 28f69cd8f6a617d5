// The inhibitor lock around the machine's sleep, against the test's own
// login manager on a private bus.
#include "PrivateBus.h"
#include "platform_qt/SleepWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelko;

namespace {

struct Logind {
    test::PrivateBus bus{QStringLiteral("fake-logind.py")};
    void sleep(bool start)
    {
        bus.call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/example/FakeLogind"),
                 QStringLiteral("org.example.FakeLogind"), QStringLiteral("Sleep"), {start});
    }
    QStringList log()
    {
        const QDBusMessage r = bus.call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/example/FakeLogind"),
                                        QStringLiteral("org.example.FakeLogind"), QStringLiteral("Log"));
        return r.arguments().value(0).toStringList();
    }
};

} // namespace

TEST(SleepWatch, TheMachineWaitsForTheConnectionsToCloseAndTheLockComesBackAfterWaking)
{
    Logind logind;
    ASSERT_TRUE(logind.bus.ok());
    const QString inhibit = QStringLiteral("inhibit sleep Pelko delay");
    const QString released = QStringLiteral("released");
    std::vector<std::string> calls;
    SleepWatch watch(logind.bus.address(), 1000);
    EXPECT_TRUE(logind.log().isEmpty()) << "no lock without a handler";
    watch.setHandlers([&] { calls.push_back("before"); }, [&] { calls.push_back("after"); });
    ASSERT_TRUE(test::WaitFor([&] { return watch.holdsLock(); }));
    EXPECT_EQ(logind.log(), QStringList{inhibit});
    watch.ready();
    EXPECT_TRUE(watch.holdsLock()) << "awake, the lock stays for the next sleep";

    logind.sleep(true);
    ASSERT_TRUE(test::WaitFor([&] { return !calls.empty(); }));
    EXPECT_EQ(calls, std::vector<std::string>{"before"});
    EXPECT_EQ(logind.log(), QStringList{inhibit}) << "the lock holds until the owner is ready";
    watch.ready();
    EXPECT_FALSE(watch.holdsLock());
    EXPECT_TRUE(test::WaitFor([&] { return logind.log().size() == 2; }));
    EXPECT_EQ(logind.log(), (QStringList{inhibit, released}));

    logind.sleep(false);
    ASSERT_TRUE(test::WaitFor([&] { return calls.size() == 2 && watch.holdsLock(); }));
    EXPECT_EQ(calls, (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(logind.log(), (QStringList{inhibit, released, inhibit}));

    // An owner that never says it is ready keeps the machine waiting a bounded time only.
    logind.sleep(true);
    EXPECT_TRUE(test::WaitFor([&] { return logind.log().size() == 4; }, 3000));
    EXPECT_EQ(logind.log(), (QStringList{inhibit, released, inhibit, released}));
    EXPECT_EQ(calls.size(), 3u);

    // Without a system bus there is nothing to follow and nothing goes wrong.
    SleepWatch nowhere(QStringLiteral("unix:path=/nonexistent/pelko-no-bus"));
    nowhere.setHandlers([&] { calls.push_back("never"); }, nullptr);
    nowhere.ready();
    EXPECT_FALSE(nowhere.holdsLock());
}
