// Clicks, ticks and a close that arrive while a slow server keeps a check
// waiting: the window keeps pumping events, but nothing may start a second
// exchange on the same connection.
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
STALL 1200
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

TEST_F(BusyGuard, ClicksAndTicksDuringASlowCheckDoNotInterleave)
{
    ScriptedPeer peer(kStallingCheck);
    TPelko& m = startAgainst(peer);

    bool firedWhileBusy = false;
    QTimer::singleShot(300, &m, [&] {
        firedWhileBusy = m.PopIsBusy();
        m.DisconnectClick(); // remembered
        m.TimerTimer();      // ignored
        m.RefreshBtnClick(); // ignored
        m.ConnectClick();    // ignored
    });
    m.ConnectClick();
    EXPECT_TRUE(firedWhileBusy) << "the event pump did not run during the stall";
    EXPECT_EQ(status(), "Slow-2 messages") << "the check finished undisturbed";
    EXPECT_TRUE(m.POP.Connected()) << "the held-back disconnect waits for the event loop";

    settle();
    EXPECT_FALSE(m.POP.Connected());
    EXPECT_EQ(status(), "Disconnected");
    ASSERT_TRUE(peer.finish());
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    EXPECT_EQ(peer.received(), "User slow\r\nPass word\r\nUIDL\r\nQuit\r\n");
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(BusyGuard, ExitDuringACheckClosesAfterIt)
{
    ScriptedPeer peer(kStallingCheck);
    TPelko& m = startAgainst(peer);
    m.move(40, 50);
    int closedSignals = 0;
    QObject::connect(&m, &TPelko::closed, [&] { ++closedSignals; });

    QTimer::singleShot(300, &m, [&] { m.Exit1Click(); });
    m.ConnectClick();
    EXPECT_EQ(closedSignals, 0);
    EXPECT_EQ(status(), "Slow-2 messages");

    settle();
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(m.POP.Connected());
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received(), "User slow\r\nPass word\r\nUIDL\r\nQuit\r\n");
    EXPECT_NE(fileBytes(pelkoIni()).find("posX = 40\r\nposY = 50\r\n"), std::string::npos);
}

} // namespace pelko::mainwin_test
