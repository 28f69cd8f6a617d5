// The check cycle against the test dovecot: counts, the new-mail rule, the
// rotation over the accounts and the connection states.
#include "MainWindowFixture.h"
#include "wire/Pop3.h"

#include <QTimer>

namespace pelko::mainwin_test {

namespace {

class MailCheck : public MainWindowTest {
protected:
    std::string skinFile(const char* name) const { return defaultSkin() + name; }
};

} // namespace

TEST_F(MailCheck, OneAccountCountsRaisesAndEmpties)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(15, 3);
    SettingsLines s = baseSettings();
    s.autocheck = true;
    writeSettings(s);
    writeAccounts({account("Home", 15)});
    TPelko& m = start();

    EXPECT_EQ(status(), "Disconnected");
    EXPECT_TRUE(countShows(0));
    EXPECT_TRUE(onlineShows(skinFile("lamp_off.bmp")));
    EXPECT_EQ(m.Online->hint(), "Disconnected");
    EXPECT_FALSE(m.TimerEnabled());
    EXPECT_EQ(m.Timer->interval(), 60000);

    m.ConnectClick();
    awaitExchanges();
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
    EXPECT_EQ(status(), "Home-3 messages");
    EXPECT_EQ(c.MsgCount, 3);
    EXPECT_TRUE(countShows(3));
    EXPECT_TRUE(flagShows(skinFile("flag_gotmail.bmp")));
    EXPECT_EQ(m.FLAG->hint(), "You have mail");
    ASSERT_EQ(fake.sounds.size(), 1u);
    EXPECT_EQ(fake.sounds[0], s.wavsnd);
    EXPECT_EQ(m.NBMSGBMP->hint(), "Home : 3");
    EXPECT_EQ(m.Online->hint(), "Connected");
    EXPECT_TRUE(onlineShows(skinFile("lamp_on.bmp")));
    EXPECT_TRUE(m.TimerEnabled());

    // Same count on the next tick: picture stays, no sound.
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-3 messages");
    EXPECT_TRUE(flagShows(skinFile("flag_gotmail.bmp")));
    EXPECT_EQ(fake.sounds.size(), 1u);

    // A fourth message: picture and sound again.
    DovecotAddMessage(15, sampleMail(4));
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-4 messages");
    EXPECT_TRUE(countShows(4));
    EXPECT_EQ(fake.sounds.size(), 2u);

    // Everything deleted on the server.
    DovecotClearMailbox(15);
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-empty");
    EXPECT_TRUE(countShows(0));
    EXPECT_TRUE(flagShows(skinFile("flag_nomail.bmp")));
    EXPECT_EQ(m.FLAG->hint(), "empty");
    EXPECT_EQ(m.PrevCount(), 0);
    EXPECT_EQ(fake.sounds.size(), 2u);
    EXPECT_TRUE(fake.boxes.empty());

    // One message is "message", not "messages".
    DovecotAddMessage(15, sampleMail(1));
    m.RefreshBtnClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-1 message");
}

TEST_F(MailCheck, TwoAccountsAlternateWithTheSoundRuleAndHintLines)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(16, 5);
    fillMailbox(17, 2);
    writeSettings(baseSettings());
    writeAccounts({account("A", 16), account("B", 17)});
    TPelko& m = start();

    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(status(), "A-5 messages");
    EXPECT_EQ(fake.sounds.size(), 1u);
    EXPECT_EQ(m.NBMSGBMP->hint(), "A : 5");

    // Each account against its own previous count: after the Connect click
    // B's waiting mail is news once, then neither account raises anything.
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(m.CurAcc(), 2);
    EXPECT_EQ(status(), "B-2 messages");
    EXPECT_EQ(fake.sounds.size(), 2u) << "B's 2 are above its 0 since the Connect click";
    EXPECT_EQ(m.NBMSGBMP->hint(), "A : 5\rB : 2");

    for (int round = 0; round < 2; ++round) {
        m.TimerTimer();
        awaitExchanges();
        EXPECT_EQ(m.CurAcc(), 1);
        EXPECT_EQ(status(), "A-5 messages");
        EXPECT_EQ(m.NBMSGBMP->hint(), "A : 5") << "a new pass starts with the first active account";
        m.RefreshBtnClick();
        awaitExchanges();
        EXPECT_EQ(m.NBMSGBMP->hint(), "A : 5\rB : 2");
    }
    EXPECT_EQ(fake.sounds.size(), 2u) << "5 after B's 2 is no news for A";
    fake.sounds.clear();
    DovecotAddMessage(17, sampleMail(3)); // news for B only
    m.TimerTimer();
    awaitExchanges();
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "B-3 messages");
    EXPECT_EQ(fake.sounds.size(), 1u);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(MailCheck, RotationSkipsInactiveAccountsAndAlwaysEnds)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(18, 1);
    fillMailbox(19, 2);
    fillMailbox(20, 3);
    writeSettings(baseSettings());
    writeAccounts({account("One", 18), account("Two", 19, true), account("Three", 20)});
    TPelko& m = start();

    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(status(), "One-1 message");
    std::vector<int> visited;
    for (int i = 0; i < 3; ++i) {
        m.TimerTimer();
        awaitExchanges();
        visited.push_back(m.CurAcc());
    }
    EXPECT_EQ(visited, (std::vector<int>{3, 1, 3}));
    EXPECT_EQ(m.Session().Account().user, DovecotUser(20));
    EXPECT_EQ(status(), "Three-3 messages");

    // Every account marked inactive while connected (as the dialog does):
    // the check must end, and stays on the open connection.
    for (int i = 1; i <= 3; ++i)
        c.Accounts[size_t(i)].inactive = true;
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(m.CurAcc(), 3);
    EXPECT_EQ(status(), "Three-3 messages");
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(MailCheck, SingleInactiveAccountIsStillChecked)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(21, 2);
    writeSettings(baseSettings());
    writeAccounts({account("Solo", 21)});
    TPelko& m = start();
    m.ConnectClick();
    awaitExchanges();
    c.Accounts[1].inactive = true;
    DovecotAddMessage(21, sampleMail(3));
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Solo-3 messages");
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(MailCheck, AutoConnectAtStartShowsTheCountWithoutNewMail)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(22, 5);
    SettingsLines s = baseSettings();
    s.autoconnect = true;
    s.autocheck = true;
    s.minutes = 5;
    writeSettings(s);
    writeAccounts({account("Home", 22)});
    TPelko& m = start();

    EXPECT_TRUE(m.Session().Connected());
    EXPECT_TRUE(onlineShows(defaultSkin() + "lamp_on.bmp")) << "the lamp says connected";
    EXPECT_EQ(m.Online->hint(), "Connected");
    EXPECT_EQ(status(), "Home-5 messages");
    EXPECT_TRUE(countShows(5));
    EXPECT_TRUE(flagShows(defaultSkin() + "flag_nomail.bmp")) << "5 is not above 99";
    EXPECT_TRUE(fake.sounds.empty());
    EXPECT_EQ(m.PrevCount(), 5);
    EXPECT_TRUE(m.TimerEnabled());
    EXPECT_EQ(m.Timer->interval(), 300000);
}

TEST_F(MailCheck, WrongPasswordOnTheSecondAccountStopsNothing)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(23, 1);
    fillMailbox(24, 1);
    SettingsLines s = baseSettings();
    s.autocheck = true;
    writeSettings(s);
    writeAccounts({account("Good", 23), account("Bad", 24, false, "wrong-password")});
    TPelko& m = start();
    m.ConnectClick();
    awaitExchanges();
    ASSERT_TRUE(fake.boxes.empty());

    for (int round = 0; round < 2; ++round) {
        if (round > 0)
            m.Retries().ResetAll(); // as a click would: the refusal waits for one
        m.TimerTimer(); // Bad: refused, shown where the count goes, no box
        awaitExchanges();
        EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
        EXPECT_EQ(status().rfind("Bad--ERR", 0), 0u) << status();
        EXPECT_NE(m.NBMSGBMP->hint().find("\rBad : error: -ERR"), std::string::npos) << m.NBMSGBMP->hint();
        EXPECT_FALSE(m.Session().Connected());
        EXPECT_EQ(m.Online->hint(), "Disconnected");
        EXPECT_TRUE(m.TimerEnabled());

        m.TimerTimer(); // Good again
        awaitExchanges();
        EXPECT_EQ(status(), "Good-1 message");
        // Bad's refusal stays in the tooltip while the ticks pass it by.
        EXPECT_EQ(m.NBMSGBMP->hint(), "Good : 1\rBad : error: -ERR [AUTH] Authentication failed. (sign-in refused)");
        EXPECT_TRUE(m.Session().Connected());
        EXPECT_EQ(m.Online->hint(), "Connected");
    }

    // Refused, Bad waits for a click: the ticks pass it by.
    m.TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Good-1 message");

    // By hand, the same failure is a box that names the account.
    m.RefreshBtnClick();
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_NE(fake.boxes[0].find("Authentication failed"), std::string::npos) << fake.boxes[0];
    EXPECT_NE(fake.boxes[0].find("\rAccount: Bad (127.0.0.1:"), std::string::npos) << fake.boxes[0];
}

TEST_F(MailCheck, DisconnectClearsTheMessageAndTheCount)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(25, 2);
    SettingsLines s = baseSettings();
    s.autocheck = true;
    writeSettings(s);
    writeAccounts({account("Home", 25)});
    TPelko& m = start();
    m.ConnectClick();
    awaitExchanges();
    ASSERT_TRUE(m.Session().Connected());
    m.Msg.SetSubject("kept from the message window");
    m.Msg.Text.push_back("a line");

    m.DisconnectClick();
    awaitExchanges();
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_TRUE(m.Msg.Headers.empty());
    EXPECT_TRUE(m.Msg.Text.empty());
    EXPECT_EQ(status(), "Disconnected");
    EXPECT_TRUE(countShows(0));
    EXPECT_EQ(m.PrevCount(), 0);
    EXPECT_FALSE(m.TimerEnabled());

    // Disconnect while disconnected does nothing at all.
    m.Msg.SetSubject("again");
    m.DisconnectClick();
    awaitExchanges();
    EXPECT_EQ(m.Msg.Subject(), "again");
}

TEST_F(MailCheck, WithoutConnectionOrActiveAccountNothingIsChecked)
{
    writeSettings(baseSettings());
    writeAccounts({account("Off", 26, true)});
    TPelko& m = start();
    EXPECT_FALSE(m.HasActiveAccount());
    c.MsgCount = 7;
    m.RefreshBtnClick(); // only the disconnected state is drawn again
    awaitExchanges();
    EXPECT_EQ(status(), "Disconnected");
    EXPECT_TRUE(countShows(0));
    EXPECT_EQ(c.MsgCount, 7);
    EXPECT_EQ(m.PrevCount(), 99);
    EXPECT_TRUE(fake.boxes.empty());

    m.ConnectClick();
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0], "No valid account ! Please create one or activate an existing account.");
    EXPECT_FALSE(m.Session().Connected());
    EXPECT_TRUE(fake.sounds.empty());
}

TEST_F(MailCheck, NewMailIsWhatWasNotListedBeforeToldOnceWithItsSenders)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(26);
    DovecotAddMessage(26, sampleMail(1));
    DovecotAddMessage(26, sampleMail(2, "=?UTF-8?B?R3LDvMOfZQ==?="));
    SettingsLines s = baseSettings();
    s.notify = true;
    s.icon_tray = true;
    writeSettings(s);
    writeAccounts({account("Home", 26)});
    const std::string dash = " \xE2\x80\x94 ";
    auto restart = [&] {
        w.reset();
        fake.notifications.clear();
        fake.sounds.clear();
        return std::ref(start());
    };
    TPelko* m = &start();
    m->ConnectClick(); // what waits is news after a Connect click
    awaitExchanges();
    ASSERT_EQ(fake.notifications.size(), 1u);
    EXPECT_EQ(fake.notifications[0].title, "Pelko: new mail");
    EXPECT_EQ(fake.notifications[0].body, "Home: 2 new messages\nSender 1 <sender1@example.org>" + dash +
                                              "Message 1\nSender 2 <sender2@example.org>" + dash +
                                              "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(status(), "Home-2 messages") << "the header fetches stay off the status line";
    EXPECT_TRUE(fake.trayMarked);
    EXPECT_EQ(fake.trayTip, TPelko::TrayTip() + "\nHome : 2");

    m->TimerTimer(); // the same ids: nothing new
    awaitExchanges();
    EXPECT_EQ(fake.notifications.size(), 1u);
    EXPECT_EQ(fake.sounds.size(), 1u);

    // One message deleted, another arrived: the same count, one new message.
    {
        TWirePOP3 pop;
        pop.Host = m->Session().Account().host;
        pop.UserID = DovecotUser(26);
        pop.Password = DovecotPassword(26);
        pop.Connect();
        ASSERT_TRUE(pop.DeleteMessage(1));
        pop.Disconnect();
    }
    DovecotAddMessage(26, sampleMail(3));
    m->TimerTimer();
    awaitExchanges();
    EXPECT_EQ(status(), "Home-2 messages");
    ASSERT_EQ(fake.notifications.size(), 2u);
    EXPECT_EQ(fake.notifications[1].body, "Home: 1 new message\nSender 3 <sender3@example.org>" + dash + "Message 3");
    EXPECT_EQ(fake.sounds.size(), 2u);

    // A restart reads what was seen: even a Connect click finds nothing new.
    m = &restart().get();
    m->ConnectClick();
    awaitExchanges();
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.sounds.empty());
    EXPECT_FALSE(fake.trayMarked);

    // Seven arrive: five are named.
    for (int i = 4; i <= 10; ++i)
        DovecotAddMessage(26, sampleMail(i));
    m->TimerTimer();
    awaitExchanges();
    ASSERT_EQ(fake.notifications.size(), 1u);
    const std::string& body = fake.notifications[0].body;
    EXPECT_EQ(body.rfind("Home: 7 new messages\nSender 4 ", 0), 0u) << body;
    EXPECT_NE(body.find("Message 8\nand 2 more"), std::string::npos) << body;
    EXPECT_TRUE(flagShows(defaultSkin() + "flag_gotmail.bmp"));
    EXPECT_TRUE(fake.trayMarked);

    // A damaged state file reads as nothing seen: the start announces nothing.
    putFile(dir() + "Pelko.seen", "pelko-seen 1\naccount Home\x01\n\x7f\x80garbage");
    s.autoconnect = true;
    writeSettings(s);
    m = &restart().get();
    EXPECT_TRUE(m->Session().Connected());
    EXPECT_EQ(status(), "Home-9 messages");
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();

    // Off: no notification even when there is news.
    c.settings.notify = false;
    DovecotAddMessage(26, sampleMail(11));
    m->TimerTimer();
    awaitExchanges();
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_EQ(fake.sounds.size(), 1u);
}

} // namespace pelko::mainwin_test

namespace pelko::mainwin_test {

TEST_F(MailCheck, ImapAccountsAreWatchedAndPop3OnesTakeTheTimersTurn)
{
    PELKO_NEED_DOVECOT();
    if (DovecotImapPort() <= 0)
        GTEST_SKIP() << "the test dovecot has no IMAP";
    fillMailbox(49, 3);
    DovecotMarkSeen(49, 1);
    fillMailbox(50, 2);
    writeSettings(baseSettings());
    TPOPAcc imap = account("Imap", 49);
    imap.host_name = "imap://127.0.0.1:" + std::to_string(DovecotImapPort());
    writeAccounts({imap, account("Pop", 50)});
    TPelko& m = start();

    // The IMAP account counts its unseen messages, the POP3 one all of them,
    // each on a mailbox of its own protocol; once the IMAP account is
    // watched in IDLE, the timer's turn passes it by.
    m.ConnectClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Imap-2 messages");
    QElapsedTimer t;
    t.start();
    while (!m.Watches(1) && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(m.Watches(1));
    for (int tick = 0; tick < 2; ++tick) {
        m.TimerTimer();
        awaitExchanges();
        EXPECT_EQ(status(), "Pop-2 messages");
    }
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
    EXPECT_EQ(m.NBMSGBMP->hint(), "Imap : 2\rPop : 2");
    // The check button tries the next account of the turn, watched or not.
    m.RefreshBtnClick();
    awaitExchanges();
    EXPECT_EQ(status(), "Imap-2 messages") << "nothing was marked read";
    m.DisconnectClick();
    EXPECT_FALSE(m.Watches(1));
}

} // namespace pelko::mainwin_test
