// Clicks, ticks and a close that arrive while a slow server keeps a check
// waiting on the session's thread: the window keeps painting and taking
// events, nothing may start a second exchange on the same connection, and
// Disconnect or Exit end the waiting exchange at once.
#include "MainWindowFixture.h"
#include "ScriptedPeer.h"

#include <QTest>
#include <QTimer>

#include <thread>

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
    awaitExchanges();
    const qint64 ended = clock.elapsed();
    EXPECT_TRUE(firedWhileBusy) << "the event loop did not run during the stall";
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

    // The stall is waited for on another thread than the window's: the
    // window paints meanwhile, and Exit ends the program at once.
    std::thread::id waitedOn;
    m.Session().OnWait = [&] { waitedOn = std::this_thread::get_id(); };
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } painted;
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    m.installEventFilter(&painted);
    int paintsWhileWaiting = -1;
    QElapsedTimer clock;
    qint64 exitAt = -1, closedAt = -1;
    QObject::connect(&m, &TPelko::closed, [&] { closedAt = clock.elapsed(); });
    QTimer::singleShot(150, &m, [&] { m.update(); });
    QTimer::singleShot(300, &m, [&] {
        paintsWhileWaiting = painted.paints;
        exitAt = clock.elapsed();
        m.Exit1Click();
    });
    clock.start();
    m.ConnectClick();
    while (closedSignals == 0 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(closedSignals, 1);
    EXPECT_GT(paintsWhileWaiting, 0) << "the window did not paint while the server kept us waiting";
    EXPECT_NE(waitedOn, std::this_thread::get_id());
    EXPECT_LT(closedAt - exitAt, 200) << "the exchange outlived the Exit click";
    m.removeEventFilter(&painted);
    EXPECT_FALSE(m.Session().Connected());
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received(), "User slow\r\nPass word\r\nUIDL\r\n");
    EXPECT_NE(fileBytes(pelkoIni()).find("posX = 40\r\nposY = 50\r\n"), std::string::npos);
}

} // namespace pelko::mainwin_test
