// The main window against servers that refuse, vanish, stall or send
// garbage. For each: no crash, no wait beyond the time-out, the error in
// front of the user, a working check right after, the files untouched.
#include "FaultInjectionFixture.h"

#include "wire/SocketErrors.h"
#include "wire/WireErrors.h"

#include <ctime>

namespace pelko::fault_test {

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

} // namespace

TEST_F(FaultTest, RefusedConnectionThenAWorkingCheck)
{
    TPelko& m = startAt("127.0.0.1:" + std::to_string(ClosedPort()));
    EXPECT_LT(timed([&] { m.ConnectClick(); }), kTimeoutMs + kSlackMs);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(contains(lastBox(), "Connection refused")) << lastBox();
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_FALSE(m.TimerEnabled());

    SerialPeer good({GoodCheck(2)});
    moveAccountTo(good.address());
    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 1u) << lastBox();
    EXPECT_EQ(status(), "Home-2 messages");
    EXPECT_TRUE(countShows(2));
    EXPECT_TRUE(m.TimerEnabled());
    EXPECT_TRUE(good.mismatches().empty()) << good.mismatches().front();
    expectFilesIntact();
}

TEST_F(FaultTest, LoginFaultsShowTheirErrorAndTheNextLoginWorks)
{
    const std::string stall = "STALL 4000\n";
    // Each byte comes well within the time-out; the greeting as a whole does not.
    std::string trickle;
    for (char ch : std::string("+OK slow"))
        trickle += std::string("SRAW: ") + ch + "\nSTALL 400\n";
    SerialPeer peer({
        "S: -ERR server busy, come back later\n",       // refused greeting
        "S: +OK ready\nC: User joe\nCLOSE\n",           // gone during the login
        stall + "S: +OK too late\n",                    // no greeting
        "S: +OK ready\nC: User joe\n" + stall,          // no answer to User
        "S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\n" + stall, // no answer to Pass
        trickle,                                                    // a byte now and then
        GoodCheck(3),
    });
    TPelko& m = startAt(peer.address());

    const std::pair<const char*, std::string> expected[] = {
        {"greeting -ERR", "-ERR server busy, come back later"},
        {"close during login", kClosedGracefullyText},
        {"stalled greeting", "timed out"},
        {"stalled User", "timed out"},
        {"stalled Pass", "timed out"},
        {"trickled greeting", "timed out"},
    };
    size_t boxes = 0;
    for (const auto& [what, text] : expected) {
        SCOPED_TRACE(what);
        EXPECT_LT(timed([&] { m.ConnectClick(); }), kTimeoutMs + kSlackMs);
        ASSERT_EQ(fake.boxes.size(), ++boxes);
        EXPECT_TRUE(contains(lastBox(), text)) << lastBox();
        EXPECT_FALSE(m.Session().Connected());
        EXPECT_FALSE(m.TimerEnabled());
    }

    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), boxes) << lastBox();
    EXPECT_EQ(status(), "Home-3 messages");
    EXPECT_TRUE(countShows(3));
    EXPECT_TRUE(m.Session().Connected());
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(FaultTest, ListingCutShortIsNotShownAsTheCount)
{
    std::vector<std::vector<PeerStep>> scripts;
    auto script = [&](const std::string& text) { scripts.push_back(ScriptedPeer::ParseScript(text)); };
    const std::string listing = Login() + "C: UIDL\nS: +OK\nS: 1 a\nS: 2 b\n";
    script(listing + "CLOSE\n");           // gone in the middle of the listing
    script(listing + "STALL 4000\nS: .\n"); // stalls in the middle of the listing
    // A listing line that never ends (more than the client's line limit).
    scripts.push_back(ScriptedPeer::ParseScript(listing));
    scripts.back().push_back({PeerStep::Send, std::string(3 << 20, 'x')});
    scripts.back().push_back({PeerStep::Stall, "", 4000});
    script(GoodCheck(4));
    SerialPeer peer(scripts);
    TPelko& m = startAt(peer.address());

    const std::pair<const char*, std::string> expected[] = {
        {"closed", kClosedGracefullyText},
        {"stalled", "timed out"},
        {"endless line", LineTooLongText(Pop3ClientOf(m).MaxLineLength)},
    };
    for (const auto& [what, text] : expected) {
        SCOPED_TRACE(what);
        const size_t before = fake.boxes.size();
        EXPECT_LT(timed([&] { m.ConnectClick(); }), kTimeoutMs + kSlackMs);
        // Two lines arrived before the fault: that is no count of the mailbox.
        EXPECT_NE(status(), "Home-2 messages");
        EXPECT_FALSE(countShows(2));
        // The reason stays in view: in a box, or on the status line.
        const bool boxed = fake.boxes.size() > before && contains(lastBox(), text);
        EXPECT_TRUE(boxed || contains(status(), text)) << "status: " << status() << "; box: " << lastBox();
        EXPECT_TRUE(fake.sounds.empty());
    }

    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-4 messages");
    EXPECT_TRUE(countShows(4));
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(FaultTest, OddBytesInRepliesAreTakenInStride)
{
    SerialPeer peer({
        // NUL bytes in the greeting and in listing lines; they are still lines.
        "RAW 2b4f4b2068656c006c6f0d0a\nC: User joe\nS: +OK\nC: Pass word\nS: +OK\nC: UIDL\nS: +OK\n"
        "RAW 3120610062630d0a32200000000d0a\nS: .\n",
        // Lines ending in LF alone are not lines: they join the next CR LF line.
        Login() + "C: UIDL\nS: +OK\nLF: 1 a\nLF: 2 b\nS: 3 c\nS: 4 d\nS: .\n",
        // A greeting of 10 MB in one line.
        "SRAW: +OK " + std::string(10 << 20, 'g') + "\n",
        GoodCheck(1),
    });
    TPelko& m = startAt(peer.address());

    m.ConnectClick();
    awaitExchanges();
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_EQ(status(), "Home-2 messages");

    m.ConnectClick();
    awaitExchanges();
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_EQ(status(), "Home-2 messages");

    EXPECT_LT(timed([&] { m.ConnectClick(); }), kTimeoutMs + kSlackMs);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(lastBox(), LineTooLongText(Pop3ClientOf(m).MaxLineLength) + "\rAccount: Home (" + peer.address() + ")");
    EXPECT_FALSE(m.Session().Connected());

    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 1u) << lastBox();
    EXPECT_EQ(status(), "Home-1 message");
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(FaultTest, TimerCheckRefusedAtLoginWaitsForAClick)
{
    SerialPeer peer({
        GoodCheck(2),
        "S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\nS: -ERR [AUTH] Authentication failed.\n",
        GoodCheck(5),
    });
    TPelko& m = startAt(peer.address());
    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-2 messages");
    ASSERT_TRUE(m.TimerEnabled());

    // The tick logs in again and is refused: no box, the error where the
    // count goes, the lamp off, and the timer goes on.
    EXPECT_LT(timed([&] { m.TimerTimer(); }), kTimeoutMs + kSlackMs);
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    const std::string refused = "-ERR [AUTH] Authentication failed. (sign-in refused)";
    EXPECT_EQ(status(), "Home-" + refused);
    EXPECT_EQ(m.NBMSGBMP->hint(), "Home : error: " + refused);
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_EQ(m.Online->hint(), "Disconnected");
    EXPECT_TRUE(onlineShows(defaultSkin() + "lamp_off.bmp"));
    EXPECT_TRUE(m.TimerEnabled());

    // The same secret is not tried again by itself; a click tries at once.
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-" + refused);
    m.RefreshBtnClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-5 messages");
    EXPECT_EQ(m.NBMSGBMP->hint(), "Home : 5");
    EXPECT_TRUE(m.Session().Connected());
    EXPECT_TRUE(onlineShows(defaultSkin() + "lamp_on.bmp"));
    EXPECT_TRUE(m.TimerEnabled());
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(FaultTest, AccountOnAClosedPortStopsNeitherTheStartNorTheOtherAccount)
{
    SerialPeer peer({GoodCheck(3), GoodCheck(3)});
    SettingsLines s = baseSettings();
    s.playsnd = false;
    s.autoconnect = true;
    s.autocheck = true;
    s.ontop = true;
    writeSettings(s);
    writeAccounts({JoeAt("Gone", "127.0.0.1:" + std::to_string(ClosedPort())), JoeAt("Work", peer.address())});
    TPelko& m = start(); // the auto-connect to "Gone" fails

    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_TRUE(m.TimerEnabled()) << "the next tick logs in again";
    EXPECT_TRUE(m.OnTopChecked());
    EXPECT_TRUE(m.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // "Gone" waits out a pause (the hint says until when) before its next try.
    const std::string refused = "Gone : error: " + SocketErrorText(10061) + " (next try at ";
    EXPECT_EQ(m.NBMSGBMP->hint().rfind(refused, 0), 0u) << m.NBMSGBMP->hint();

    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Work-3 messages");
    EXPECT_TRUE(countShows(3));
    EXPECT_EQ(m.NBMSGBMP->hint().rfind(refused, 0), 0u) << m.NBMSGBMP->hint();
    EXPECT_NE(m.NBMSGBMP->hint().find(")\rWork : 3"), std::string::npos) << m.NBMSGBMP->hint();

    // Two minutes on, "Gone" is tried again: refused, and still no box.
    const auto later = std::chrono::system_clock::now() + std::chrono::minutes(2);
    m.Retries().SetClock([later] { return later; });
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status().rfind("Gone-" + SocketErrorText(10061), 0), 0u) << status();
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Work-3 messages");
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
}

TEST_F(FaultTest, SilentAccountKeepsNeitherConnectNorDisconnectFromTheOthers)
{
    SerialPeer silent({std::string("STALL 3000\n"), std::string("STALL 3000\n")});
    SerialPeer work({GoodCheck(2), GoodCheck(2)});
    SettingsLines s = baseSettings();
    s.playsnd = false;
    s.autocheck = true;
    s.icon_tray = true;
    writeSettings(s);
    writeAccounts({JoeAt("Silent", silent.address()), JoeAt("Work", work.address())});
    TPelko& m = start();
    m.Session().Box().SetTimeout(kTimeoutMs);

    // Connect names the silent account's failure in a box, then goes on.
    m.ConnectClick();
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_NE(lastBox().find("timed out.\rAccount: Silent (" + silent.address() + ")"), std::string::npos) << lastBox();
    EXPECT_EQ(status(), "Work-2 messages");
    EXPECT_TRUE(m.TimerEnabled());

    // A second check of the same account in a pass brings its line up to date.
    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(m.NBMSGBMP->hint(), "Work : 2");
    EXPECT_EQ(fake.trayTip, TPelko::TrayTip() + "\nWork : 2");

    m.TimerTimer(); // Silent again: no box, and the timer goes on
    awaitExchanges();
    EXPECT_FALSE(m.Session().Connected());
    ASSERT_TRUE(m.TimerEnabled());
    m.DisconnectClick(); // ...until Disconnect
    awaitExchanges();
    EXPECT_FALSE(m.TimerEnabled());
    EXPECT_EQ(status(), "Disconnected");
    EXPECT_EQ(fake.boxes.size(), 1u) << lastBox();
    EXPECT_TRUE(work.mismatches().empty()) << work.mismatches().front();
}

} // namespace pelko::fault_test

namespace pelko::fault_test {

TEST_F(FaultTest, AServerDownWaitsOneTwoFourMinutesBetweenTicks)
{
    TPelko& m = startAt("127.0.0.1:" + std::to_string(ClosedPort()));
    m.SetTimerEnabled(true);
    // 10:00 today, local time, and the minutes after it.
    std::tm at{};
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &at);
    at.tm_hour = 10;
    at.tm_min = 0;
    at.tm_sec = 0;
    const auto ten = std::chrono::system_clock::from_time_t(std::mktime(&at));
    auto clock = ten;
    m.Retries().SetClock([&clock] { return clock; });
    const std::string down = "Home-" + SocketErrorText(10061) + " (next try at ";
    // The tick at each minute below: a try (and the next try it names) or nothing.
    const std::pair<int, const char*> ticks[] = {
        {0, "10:01"}, {1, "10:03"}, {2, nullptr}, {3, "10:07"}, {6, nullptr}, {7, "10:15"}};
    for (const auto& [minute, next] : ticks) {
        SCOPED_TRACE(minute);
        clock = ten + std::chrono::minutes(minute);
        const std::string before = status();
        m.TimerTimer();
        awaitExchanges();
        if (next)
            EXPECT_EQ(status(), down + next + ")");
        else
            EXPECT_EQ(status(), before) << "tried during its pause";
    }
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    // A click tries at once.
    fake.boxes.clear();
    m.RefreshBtnClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 1u);
}

} // namespace pelko::fault_test
