// Clicks, ticks and a close that arrive while a slow server keeps a check
// waiting: the window keeps pumping events, nothing may start a second
// exchange on the same connection, and Disconnect or Exit end the waiting
// exchange at once.
#include "MainWindowFixture.h"
#include "ScriptedPeer.h"

#include <QTimer>

namespace pelko::mainwin_test {

namespace {

const char* kStallingCheck = R"(S: +OK ready
C: User slow
S: +OK
C: Pass word
S: +OK logged in
C: UIDL
S: +OK
STALL 3000
S: 1 first
S: 2 second
S: .
C: Quit
S: +OK bye
)";

class BusyGuard : public MainWindowTest {
protected:
    TPelko& startAgainst(const ScriptedPeer& peer)
    {
        writeSettings(baseSettings());
        TPOPAcc a;
        a.acc_name = "Slow";
        a.host_name = "127.0.0.1:" + std::to_string(peer.port());
        a.user_name = "slow";
        a.password = "word";
        writeAccounts({a});
        return start();
    }
};

} // namespace

TEST_F(BusyGuard, ClicksDuringASlowCheckDoNotInterleaveAndDisconnectCallsItOff)
{
    ScriptedPeer peer(kStallingCheck);
    TPelko& m = startAgainst(peer);
    m.SetTimerEnabled(true);

    bool firedWhileBusy = false;
    QElapsedTimer clock;
    qint64 disconnectAt = -1;
    QTimer::singleShot(300, &m, [&] {
        firedWhileBusy = m.PopIsBusy();
        m.TimerTimer();      // ignored
        m.RefreshBtnClick(); // ignored
        m.ConnectClick();    // ignored
        disconnectAt = clock.elapsed();
        m.DisconnectClick(); // ends the stalled listing
    });
    clock.start();
    m.ConnectClick();
    const qint64 ended = clock.elapsed();
    EXPECT_TRUE(firedWhileBusy) << "the event pump did not run during the stall";
    ASSERT_GE(disconnectAt, 0);
    EXPECT_LT(ended - disconnectAt, 200) << "the exchange outlived the Disconnect click";
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_TRUE(fake.boxes.empty()) << "a cancellation is no error: " << fake.boxes.front();

    settle();
    EXPECT_EQ(status(), "Disconnected");
    EXPECT_EQ(m.Online->hint(), "Disconnected");
    EXPECT_FALSE(m.TimerEnabled());
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received(), "User slow\r\nPass word\r\nUIDL\r\n") << "nothing is written after the call-off";
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(BusyGuard, ExitDuringACheckEndsItAndCloses)
{
    ScriptedPeer peer(kStallingCheck);
    TPelko& m = startAgainst(peer);
    m.move(40, 50);
    int closedSignals = 0;
    QObject::connect(&m, &TPelko::closed, [&] { ++closedSignals; });

    QElapsedTimer clock;
    QTimer::singleShot(300, &m, [&] { m.Exit1Click(); });
    clock.start();
    m.ConnectClick();
    EXPECT_LT(clock.elapsed(), 300 + 200);
    EXPECT_EQ(closedSignals, 0) << "the close waits for the event loop";

    settle();
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(m.Session().Connected());
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received(), "User slow\r\nPass word\r\nUIDL\r\n");
    EXPECT_NE(fileBytes(pelkoIni()).find("posX = 40\r\nposY = 50\r\n"), std::string::npos);
}

} // namespace pelko::mainwin_test
