// Creating, painting and closing the main window; the fatal skin and
// settings problems.
#include "MainWindowFixture.h"
#include "ScriptedPeer.h"
#include "config/IniLookup.h"
#include "configdialog/ConfigDialog.h"
#include "platform/FatalEnd.h"
#include "platform/HandlerGuard.h"
#include "skin/SkinMessages.h"
#include "skinqt/ImgBtn.h"
#include "skinqt/RegionAdapter.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include <stdexcept>

namespace pelko::mainwin_test {

namespace {

class MainWindow : public MainWindowTest {
protected:
    // A copy of the default skin that a test may break.
    std::string copySkin()
    {
        const std::string to = dir() + "skin/";
        QDir().mkpath(QString::fromStdString(to));
        for (const QString& f : QDir(QString::fromStdString(defaultSkin())).entryList(QDir::Files))
            QFile::copy(QString::fromStdString(defaultSkin()) + f, QString::fromStdString(to) + f);
        return to;
    }

    // Starts expecting the program to end with text; the window must not exist.
    void expectFatal(const std::string& text)
    {
        try {
            start();
            ADD_FAILURE() << "no fatal end";
        } catch (const FatalEndCalled& e) {
            EXPECT_EQ(e.text, text);
        }
    }
};

} // namespace

TEST_F(MainWindow, CreationBuildsTheSkinnedWindow)
{
    putFile(pelkoIni(), "current_skin = " + defaultSkin() + "\r\n");
    TPelko& m = start();

    EXPECT_TRUE(m.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(m.windowFlags().testFlag(Qt::Tool)) << "no taskbar button";
    EXPECT_FALSE(m.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(m.windowTitle().toStdString(), "Pelko");
    EXPECT_EQ(m.pos(), QPoint(10, 10)) << "posx/posy missing";
    EXPECT_EQ(m.Timer->interval(), 60000) << "minutes missing";
    EXPECT_EQ(m.PrevCount(), 99);

    EXPECT_EQ(m.Connect->toolTip().toStdString(), "Connect to POP server");
    EXPECT_EQ(m.RefreshBtn->toolTip().toStdString(), "Check for Messages");
    EXPECT_EQ(m.Disconnect->toolTip().toStdString(), "Disconnect POP server ONLY !!");
    EXPECT_EQ(m.MAIL->toolTip().toStdString(), "Run mail client");
    EXPECT_EQ(m.NBMSGBMP->hint(), "NB Messages");
    QStringList menu;
    for (QAction* a : m.PopMnu->actions())
        menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(menu.join('|').toStdString(), "Configure|-|On Top|-|Exit");
    EXPECT_TRUE(m.OnTop->isCheckable());
    EXPECT_FALSE(m.OnTop->isChecked()) << "ontop missing";

    // Positions from skin.ini (x is left, y is top).
    EXPECT_EQ(m.Connect->pos(), QPoint(14, 26));
    EXPECT_EQ(m.FLAG->pos(), QPoint(218, 28));
    EXPECT_EQ(m.NBMSGBMP->pos(), QPoint(208, 64));

    // Size and outline from the background picture.
    const QImage bg(QString::fromStdString(defaultSkin() + "main.bmp"));
    EXPECT_EQ(m.size(), bg.size());
    EXPECT_EQ(m.Background().size(), bg.size());
    EXPECT_TRUE((m.mask() ^ RegionFromImage(bg)).isEmpty());
    EXPECT_FALSE(m.mask().isEmpty());
    EXPECT_TRUE(fake.boxes.empty());

    // icon_tray off: no icon added, none removed at close.
    m.close();
    EXPECT_EQ(fake.trayAdds, 0);
    EXPECT_EQ(fake.trayRemoves, 0);
}

TEST_F(MainWindow, SettingsShapeTheStart)
{
    SettingsLines s = baseSettings();
    s.posX = -20;
    s.posY = 333;
    s.minutes = 0;
    s.ontop = true;
    s.icon_tray = true;
    writeSettings(s);
    TPelko& m = start();
    EXPECT_EQ(m.pos(), QPoint(-20, 333));
    EXPECT_TRUE(m.OnTop->isChecked());
    EXPECT_TRUE(m.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(fake.trayAdds, 1);
    // An interval of 0 never fires: such a timer is never started.
    EXPECT_EQ(m.Timer->interval(), 0);
    m.SetTimerEnabled(true);
    EXPECT_FALSE(m.TimerEnabled());

    // A rebuild from the dialog raises the loader's errors to the dialog, and
    // what the loader read before the bad number is taken over: the account
    // found and the ontop line, so Connect logs in to that account.
    TPOPAcc a;
    a.acc_name = "New";
    a.host_name = "new.example.org";
    a.user_name = "newuser";
    a.password = "newpass";
    writeAccounts({a});
    putFile(pelkoIni(), "current_skin = " + defaultSkin() + "\r\nontop =0\r\nminutes = abc\r\n");
    EXPECT_THROW(m.RebuildMainWindow(), ConversionError);
    EXPECT_TRUE(m.HasActiveAccount());
    EXPECT_EQ(m.Session().Account().host, "new.example.org");
    EXPECT_EQ(m.Session().Account().user, "newuser");
    EXPECT_EQ(m.Session().Account().secret.password, "newpass");
    EXPECT_FALSE(m.OnTop->isChecked());
    EXPECT_FALSE(m.OnTopSetting());
}

TEST_F(MainWindow, ABrokenNumberAtStartIsReportedThenTheUnreadSkinEnds)
{
    // The loader stops at the bad number, so the skin is never read and the
    // first activation finds no background.
    putFile(pelkoIni(), "current_skin = " + defaultSkin() + "\r\nposx = 12a\r\n");
    const std::string before = fileBytes(pelkoIni());
    EXPECT_THROW(start(), FatalEndCalled);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0], ConversionError("12a").what());
    ASSERT_EQ(fake.fatals.size(), 1u);
    EXPECT_EQ(fake.fatals[0], kSkinMainNotFound);
    EXPECT_EQ(fileBytes(pelkoIni()), before);
}

TEST_F(MainWindow, CloseSendsQuitAndRewritesTheSettings)
{
    ScriptedPeer peer("S: +OK hi\nC: User me\nS: +OK\nC: Pass pw\nS: +OK\nC: UIDL\nS: +OK\nS: 1 a\nS: .\n"
                      "C: Quit\nS: +OK\n");
    SettingsLines s = baseSettings();
    s.icon_tray = true;
    s.wavsnd = "";
    writeSettings(s);
    TPOPAcc a;
    a.acc_name = "Me";
    a.host_name = "127.0.0.1:" + std::to_string(peer.port());
    a.user_name = "me";
    a.password = "pw";
    writeAccounts({a});
    TPelko& m = start();
    TConfig config(c, fake, m);
    m.SetConfig(&config);
    int closedSignals = 0;
    QObject::connect(&m, &TPelko::closed, [&] { ++closedSignals; });

    m.ConnectClick();
    awaitExchanges();
    ASSERT_EQ(status(), "Me-1 message");
    m.show();
    m.move(123, 77);
    m.OnTopClick();
    EXPECT_TRUE(m.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(m.isVisible()) << "toggling on top keeps the window shown";
    m.Exit1->trigger();

    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(m.Session().Connected());
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received(), "User me\r\nPass pw\r\nUIDL\r\nQuit\r\n");
    EXPECT_EQ(fake.trayRemoves, 1);
    SettingsLines expected = s;
    expected.posX = 123;
    expected.posY = 77;
    expected.ontop = true;
    EXPECT_EQ(fileBytes(pelkoIni()), SettingsFileText(expected));

    // The next start opens with the toggled state.
    w.reset();
    TPelko& again = start();
    EXPECT_TRUE(again.OnTop->isChecked());
    EXPECT_TRUE(again.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(again.pos(), QPoint(123, 77));
}

TEST_F(MainWindow, FatalSettingsAndSkinProblemsEndAndWriteNothing)
{
    // No settings file at all.
    expectFatal(kSkinPathNotFound);

    // No current_skin line.
    const std::string noSkin = "autocheck =1\r\n";
    putFile(pelkoIni(), noSkin);
    expectFatal(kPelkoIniNotFound);
    EXPECT_EQ(fileBytes(pelkoIni()), noSkin);

    // A button picture missing.
    const std::string skin = copySkin();
    SettingsLines s = baseSettings();
    s.current_skin = skin;
    s.icon_tray = true;
    writeSettings(s);
    const std::string written = fileBytes(pelkoIni());
    QFile::remove(QString::fromStdString(skin + "btn_check_over.bmp"));
    expectFatal(kSkinInvalidFile);

    // The not-online picture missing (buttons fine again).
    QFile::copy(QString::fromStdString(defaultSkin() + "btn_check_over.bmp"),
                QString::fromStdString(skin + "btn_check_over.bmp"));
    QFile::remove(QString::fromStdString(skin + "lamp_off.bmp"));
    expectFatal(kSkinNotOnlineInvalid);

    // The background missing: found at the first activation.
    QFile::copy(QString::fromStdString(defaultSkin() + "lamp_off.bmp"),
                QString::fromStdString(skin + "lamp_off.bmp"));
    QFile::remove(QString::fromStdString(skin + "main.bmp"));
    expectFatal(kSkinMainNotFound);

    EXPECT_EQ(fileBytes(pelkoIni()), written) << "nothing written on a fatal end";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(accountsIni())));
    EXPECT_EQ(fake.trayRemoves, 0) << "the tray icon is left to the desktop";
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(MainWindow, BackgroundIsReloadedOnActivationNotOnEveryPaint)
{
    const std::string skin = copySkin();
    SettingsLines s = baseSettings();
    s.current_skin = skin;
    writeSettings(s);
    const std::string written = fileBytes(pelkoIni());
    TPelko& m = start();
    m.show();
    QFile::remove(QString::fromStdString(skin + "main.bmp"));

    // Paints draw the kept picture.
    m.repaint();
    QImage shot = m.grab().toImage();
    EXPECT_EQ(shot.pixel(40, 40), QImage(QString::fromStdString(defaultSkin() + "main.bmp")).pixel(40, 40));
    EXPECT_TRUE(fake.fatals.empty());

    // An activation reads the file again.
    QEvent activate(QEvent::WindowActivate);
    try {
        QCoreApplication::sendEvent(&m, &activate);
        ADD_FAILURE() << "no fatal end";
    } catch (const FatalEndCalled& e) {
        EXPECT_EQ(e.text, kSkinMainNotFound);
    }
    EXPECT_EQ(fileBytes(pelkoIni()), written);
}

TEST(MainWindowGuard, ErrorsBecomeBoxesAndFatalEndsEndTheProgram)
{
    FakePlatform fake;
    bool after = false;
    EXPECT_TRUE(RunGuarded(fake, [&] { after = true; }));
    EXPECT_TRUE(after);

    after = false;
    EXPECT_FALSE(RunGuarded(fake, [&] {
        throw std::runtime_error("Host not found.");
        after = true;
    }));
    EXPECT_FALSE(after);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0], "Host not found.");

    EXPECT_THROW(RunGuarded(fake, [] { throw FatalEnd("SKIN PATH"); }), FatalEndCalled);
    ASSERT_EQ(fake.fatals.size(), 1u);
    EXPECT_EQ(fake.fatals[0], "SKIN PATH");
    EXPECT_EQ(fake.boxes.size(), 1u);
}

} // namespace pelko::mainwin_test
