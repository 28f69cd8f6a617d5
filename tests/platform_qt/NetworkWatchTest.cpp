// Going offline, coming back and moving networks, as NetworkManager tells
// it: the test's own on a private system bus, behind Qt's network information.
#include "PrivateBus.h"
#include "platform_qt/NetworkWatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace pelko;

TEST(NetworkWatch, OfflineBackAndAnotherNetworkReachTheHandlerOnceEach)
{
    if (QNetworkInformation::instance())
        GTEST_SKIP() << "runs in a process of its own (ctest's entry), before Qt's back end is loaded";
    test::PrivateBus nm(QStringLiteral("fake-networkmanager.py"));
    ASSERT_TRUE(nm.ok());
    // Qt's back end takes the system bus from here, once per process.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", nm.address().toUtf8().constData(), 1);
    constexpr int kSettleMs = 200;
    NetworkWatch watch(kSettleMs);
    if (QNetworkInformation::instance() == nullptr)
        GTEST_SKIP() << "Qt has no NetworkManager back end here";
    std::string told;
    watch.setHandler([&](bool online) { told += online ? "on " : "off "; });
    ASSERT_TRUE(test::WaitFor([&] { return watch.state() == OnlineState::Online; }));

    const struct {
        uint state;      // NetworkManager's: 70 online, 50 local network only, 20 disconnected
        uint deviceType; // 1 Ethernet, 2 Wi-Fi
        std::string told;
        OnlineState now;
    } rows[] = {
        {20, 1, "off ", OnlineState::Offline},
        {70, 1, "off on ", OnlineState::Online},
        {50, 1, "off on ", OnlineState::Online},         // less reach: the server may still be there
        {70, 1, "off on on ", OnlineState::Online},      // more reach again
        {70, 2, "off on on on ", OnlineState::Online},   // another way out
    };
    for (const auto& r : rows) {
        const std::string before = told;
        nm.call(QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/example/FakeNetworkManager"),
                QStringLiteral("org.example.FakeNetworkManager"), QStringLiteral("Set"), {r.state, r.deviceType});
        // A change is told after the settling time; none is waited for five times as long.
        test::WaitFor([&] { return told != before; }, r.told == before ? 5 * kSettleMs : 5000);
        EXPECT_EQ(told, r.told) << "state " << r.state << ", device " << r.deviceType;
        EXPECT_EQ(watch.state(), r.now) << "state " << r.state;
    }
}
