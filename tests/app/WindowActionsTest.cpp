// The main window's actions: tray presses, dragging, the status line's
// double clicks, the mail client, the configuration dialog.
#include "MainWindowFixture.h"
#include "ScriptedPeer.h"
#include "viewer/MsgWindowHost.h"
#include "configdialog/ConfigDialog.h"
#include "skinqt/ImgBtn.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

namespace pelko::mainwin_test {

namespace {

struct RecordingMsgWindow : TMsgWindowHost {
    void ShowMessageNo(int n, std::function<void()> shown) override
    {
        calls.push_back("ShowMessageNo " + std::to_string(n));
        if (shown)
            shown();
    }
    void ShowModal() override { calls.push_back("ShowModal"); }
    bool IsShown() const override { return shown; }
    void ShowNewMail(const NewMailMark&, std::function<void()> shown) override
    {
        calls.push_back("ShowNewMail");
        if (shown)
            shown();
    }
    std::vector<std::string> calls;
    bool shown = false;
};

void sendMouse(QWidget* to, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(to->mapFromGlobal(global)), QPointF(global), button, buttons, mods);
    QCoreApplication::sendEvent(to, &e);
}

class WindowActions : public MainWindowTest {};

} // namespace

TEST_F(WindowActions, TrayIconPressesToggleAndOpenTheMenu)
{
    SettingsLines s = baseSettings();
    s.icon_tray = true;
    writeSettings(s);
    TPelko& m = start();
    m.show();
    ASSERT_TRUE(fake.trayPresent);
    EXPECT_EQ(fake.trayTip.rfind("Pelko - ", 0), 0u);
    EXPECT_LE(fake.trayTip.size(), 63u);
    EXPECT_GT(fake.trayTip.size(), 8u);

    fake.trayHandler(TrayPress::Left);
    EXPECT_FALSE(m.isVisible());
    fake.trayHandler(TrayPress::Left);
    EXPECT_TRUE(m.isVisible());

    QCursor::setPos(300, 200);
    fake.trayHandler(TrayPress::Right);
    EXPECT_TRUE(m.PopMnu->isVisible());
    EXPECT_EQ(m.PopMnu->pos(), QCursor::pos());
    m.PopMnu->hide();

    // A rebuild for a skin preview adds again without removing: no effect.
    m.RebuildMainWindow();
    EXPECT_EQ(fake.trayAdds, 2);
    EXPECT_EQ(fake.trayRemoves, 0);
    EXPECT_TRUE(m.TrayShown());
}

TEST_F(WindowActions, DraggingTheBackgroundMovesTheWindowByTheCursorDistance)
{
    writeSettings(baseSettings());
    TPelko& m = start();
    m.show();
    m.move(100, 100);
    const QPoint grip = m.pos() + QPoint(60, 6); // on the background, away from buttons

    sendMouse(&m, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(m.DragPoint(), grip);
    sendMouse(&m, QEvent::MouseMove, grip + QPoint(20, 15), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m.pos(), QPoint(120, 115));
    // The next step is measured from the last cursor position, not the first.
    sendMouse(&m, QEvent::MouseMove, grip + QPoint(25, 5), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m.pos(), QPoint(125, 105));

    // Ctrl held: no move. No button: no move.
    sendMouse(&m, QEvent::MouseMove, grip + QPoint(90, 90), Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
    sendMouse(&m, QEvent::MouseMove, grip + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(m.pos(), QPoint(125, 105));

    // A double click or a Ctrl press does not start a drag.
    const QPoint before = m.DragPoint();
    sendMouse(&m, QEvent::MouseButtonDblClick, grip + QPoint(1, 1), Qt::LeftButton, Qt::LeftButton);
    sendMouse(&m, QEvent::MouseButtonPress, grip + QPoint(2, 2), Qt::LeftButton, Qt::LeftButton,
              Qt::ControlModifier);
    EXPECT_EQ(m.DragPoint(), before);
    // ...and the moves after it do not jump by the distance to an old drag.
    sendMouse(&m, QEvent::MouseMove, grip + QPoint(40, 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m.pos(), QPoint(125, 105));

    // Pressing and moving on a button leaves the window where it is.
    const QPoint onButton = m.Connect->mapToGlobal(QPoint(3, 3));
    sendMouse(m.Connect, QEvent::MouseButtonPress, onButton, Qt::LeftButton, Qt::LeftButton);
    sendMouse(m.Connect, QEvent::MouseMove, onButton + QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m.pos(), QPoint(125, 105));
}

TEST_F(WindowActions, StatusLineDoubleClicksOpenTheMessageWindowOnlyWhenTheyMay)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(27, 2);
    writeSettings(baseSettings());
    writeAccounts({account("Home", 27)});
    TPelko& m = start();
    RecordingMsgWindow msgs;
    m.SetMsgWindow(&msgs);
    const QPoint at = m.STATBMP->mapToGlobal(QPoint(2, 2));
    auto dbl = [&](Qt::KeyboardModifiers mods) {
        sendMouse(m.STATBMP, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, mods);
        sendMouse(m.STATBMP, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, mods);
    };

    dbl(Qt::NoModifier); // disconnected
    EXPECT_TRUE(msgs.calls.empty());
    dbl(Qt::ControlModifier); // opens as it was left, connected or not
    EXPECT_EQ(msgs.calls, (std::vector<std::string>{"ShowModal"}));
    msgs.calls.clear();

    m.ConnectClick();
    awaitExchanges();
    ASSERT_EQ(c.MsgCount, 2);
    sendMouse(m.STATBMP, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); // one click
    EXPECT_TRUE(msgs.calls.empty());
    dbl(Qt::ShiftModifier);
    EXPECT_TRUE(msgs.calls.empty());
    const QImage gotMail(QString::fromStdString(defaultSkin() + "flag_gotmail.bmp"));
    EXPECT_EQ(m.FLAG->picture(), gotMail);
    dbl(Qt::NoModifier);
    EXPECT_EQ(msgs.calls, (std::vector<std::string>{"ShowMessageNo 1", "ShowModal"}));
    EXPECT_NE(m.FLAG->picture(), gotMail) << "the mail was looked at";
    msgs.calls.clear();

    msgs.shown = true; // already open
    dbl(Qt::NoModifier);
    EXPECT_TRUE(msgs.calls.empty());
    msgs.shown = false;

    DovecotClearMailbox(27);
    m.RefreshBtnClick();
    awaitExchanges();
    ASSERT_EQ(c.MsgCount, 0);
    dbl(Qt::NoModifier); // nothing to show
    EXPECT_TRUE(msgs.calls.empty());
}

TEST_F(WindowActions, StatusLineShowsTheFetchedSubjectDecodedThenTheCountAgain)
{
    ScriptedPeer peer("S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\nS: +OK\nC: UIDL\nS: +OK\nS: 1 a\nS: .\n"
                      "C: RETR 1\nS: +OK\nS: Subject: =?UTF-8?B?R3LDvMOfZQ==?=\nS: \nS: Hi\nS: .\n");
    writeSettings(baseSettings());
    TPOPAcc a;
    a.acc_name = "Home";
    a.host_name = "127.0.0.1:" + std::to_string(peer.port());
    a.user_name = "joe";
    a.password = "word";
    writeAccounts({a});
    TPelko& m = start();
    m.ConnectClick();
    awaitExchanges();
    ASSERT_EQ(status(), "Home-1 message");

    // A message window that fetches the message as the real one does.
    struct Reading : TMsgWindowHost {
        TPelko& m;
        std::string statusWhileOpen;
        explicit Reading(TPelko& main) : m(main) {}
        void ShowMessageNo(int n, std::function<void()> shown) override
        {
            m.Session().Box().FetchMessage(n, m.Msg);
            shown();
        }
        void ShowNewMail(const NewMailMark&, std::function<void()>) override {}
        void ShowModal() override { statusWhileOpen = m.StatusText(); }
        bool IsShown() const override { return false; }
    } reading(m);
    m.SetMsgWindow(&reading);
    m.STATBMPMouseDown(Qt::LeftButton, Qt::NoModifier, true);
    awaitExchanges();
    EXPECT_EQ(reading.statusWhileOpen, "Home-Subject: Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(status(), "Home-1 message") << "the count comes back when the window closes";
}

TEST_F(WindowActions, NoMessageWindowWhenTheSkinHasNone)
{
    const std::string skin = dir() + "plain/";
    QDir().mkpath(QString::fromStdString(skin));
    for (const QString& f : QDir(QString::fromStdString(defaultSkin())).entryList(QDir::Files))
        QFile::copy(QString::fromStdString(defaultSkin()) + f, QString::fromStdString(skin) + f);
    std::string ini = fileBytes(skin + "skin.ini");
    ini.replace(ini.find("msgbkng = msgwindow.bmp"), 23, "");
    QFile::remove(QString::fromStdString(skin + "skin.ini"));
    putFile(skin + "skin.ini", ini);
    SettingsLines s = baseSettings();
    s.current_skin = skin;
    writeSettings(s);
    TPelko& m = start();
    EXPECT_TRUE(m.NoMsgWindow());
    RecordingMsgWindow msgs;
    m.SetMsgWindow(&msgs);
    m.STATBMPMouseDown(Qt::LeftButton, Qt::ControlModifier, true);
    awaitExchanges();
    EXPECT_TRUE(msgs.calls.empty());
}

TEST_F(WindowActions, TheOtherWindowsAreMadeOnFirstUseOnly)
{
    writeSettings(baseSettings());
    TPelko& m = start();
    std::unique_ptr<TConfig> config;
    std::unique_ptr<RecordingMsgWindow> msgs;
    int configsMade = 0, msgWindowsMade = 0;
    m.SetWindowMakers(
        [&] {
            ++configsMade;
            config = std::make_unique<TConfig>(c, fake, m);
            return config.get();
        },
        [&] {
            ++msgWindowsMade;
            msgs = std::make_unique<RecordingMsgWindow>();
            return msgs.get();
        });
    m.show();
    m.STATBMPMouseDown(Qt::LeftButton, Qt::NoModifier, true); // disconnected: nothing to show
    awaitExchanges();
    EXPECT_EQ(configsMade + msgWindowsMade, 0);

    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] { config->CancelClick(); });
        m.Config1Click();
        m.STATBMPMouseDown(Qt::LeftButton, Qt::ControlModifier, true);
        awaitExchanges();
    }
    EXPECT_EQ(configsMade, 1);
    EXPECT_EQ(msgWindowsMade, 1);
    EXPECT_EQ(msgs->calls, (std::vector<std::string>{"ShowModal", "ShowModal"}));
}

TEST_F(WindowActions, ClosingWritesTheSameSettingsWhetherTheDialogWasMadeOrNot)
{
    SettingsLines s = baseSettings();
    s.minutes = 0; // kept as 1 by the dialog's arrows
    s.my_mail_client = "none";
    s.notify = true;
    std::string withDialog;
    {
        writeSettings(s);
        TPelko& m = start();
        TConfig config(c, fake, m);
        m.SetConfig(&config);
        m.move(40, 50);
        m.close();
        withDialog = fileBytes(pelkoIni());
    }
    writeSettings(s);
    TPelko& m = start();
    m.move(40, 50);
    m.close();
    EXPECT_EQ(fileBytes(pelkoIni()), withDialog);
    EXPECT_NE(withDialog.find("minutes = 1\r\n"), std::string::npos) << withDialog;
}

TEST_F(WindowActions, MailButtonStartsTheConfiguredOrRegisteredClient)
{
    SettingsLines s = baseSettings();
    s.run_my_client = true;
    s.my_mail_client = "/usr/bin/claws-mail,--compose";
    writeSettings(s);
    TPelko& m = start();
    fake.mailCommand = "ignored.exe";
    m.MAIL->OnClick();
    ASSERT_EQ(fake.launches.size(), 1u);
    EXPECT_EQ(fake.launches[0].program, "/usr/bin/claws-mail");
    EXPECT_EQ(fake.launches[0].parameters, "--compose");

    c.settings.run_my_client = false;
    fake.mailCommand = "evolution --component=mail";
    m.MAILClick();
    ASSERT_EQ(fake.launches.size(), 2u);
    EXPECT_EQ(fake.launches[1].program, "evolution");
    EXPECT_EQ(fake.launches[1].parameters, "--component=mail");

    fake.mailCommand = ""; // nothing registered: the user is told where to set one
    m.MAILClick();
    EXPECT_EQ(fake.launches.size(), 2u);
    EXPECT_EQ(fake.boxes, std::vector<std::string>{TPelko::kNoMailProgramText});
    EXPECT_EQ(fake.owners.back(), static_cast<DialogOwner>(&m));
}

TEST_F(WindowActions, RebuildsKeepTheLivePositionAndOnTop)
{
    SettingsLines s = baseSettings();
    s.ontop = true;
    writeSettings(s);
    TPelko& m = start();
    TConfig config(c, fake, m);
    m.SetConfig(&config);
    m.move(123, 45);
    m.OnTopClick();
    ASSERT_FALSE(m.OnTopChecked());

    m.RebuildMainWindow(); // what a skin preview, or its Cancel, does
    EXPECT_EQ(m.pos(), QPoint(123, 45));
    EXPECT_FALSE(m.OnTopChecked());
    EXPECT_FALSE(m.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    QTimer::singleShot(0, &config, [&] { config.OKClick(); }); // OK stores what the window has
    m.Config1Click();
    const std::string ini = fileBytes(pelkoIni());
    EXPECT_NE(ini.find("ontop =0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("posX = 123\r\nposY = 45\r\n"), std::string::npos) << ini;
    EXPECT_EQ(m.pos(), QPoint(123, 45));
}

TEST_F(WindowActions, ConfirmedDialogRebuildsTheWindowCancelDoesNot)
{
    SettingsLines s = baseSettings();
    s.icon_tray = true;
    writeSettings(s);
    TPelko& m = start();
    TConfig config(c, fake, m);
    m.SetConfig(&config);
    m.hide();

    QTimer::singleShot(0, &config, [&] { config.CancelClick(); });
    m.Config1->trigger();
    EXPECT_FALSE(m.isVisible());
    EXPECT_EQ(fake.trayRemoves, 0);

    // OK with a new position in the file: shown, icon removed and added, moved.
    QTimer::singleShot(0, &config, [&] {
        config.Min->setValue(7);
        config.OKClick();
    });
    m.Config1Click();
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(fake.trayRemoves, 1);
    EXPECT_EQ(fake.trayAdds, 2);
    EXPECT_TRUE(fake.trayPresent);
    EXPECT_EQ(m.Timer->interval(), 7 * 60000);
    EXPECT_EQ(m.PrevCount(), 99);
}

TEST_F(WindowActions, RunningTimerKeepsItsCountdown)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(35, 1);
    SettingsLines s = baseSettings();
    s.autoconnect = true;
    s.autocheck = true;
    writeSettings(s);
    writeAccounts({account("Home", 35)});
    TPelko& m = start();
    TConfig config(c, fake, m);
    m.SetConfig(&config);
    ASSERT_TRUE(m.TimerEnabled());
    m.Timer->setTimerType(Qt::PreciseTimer); // a coarse timer may add slack to what is left
    m.Timer->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int left = m.Timer->remainingTime();
    EXPECT_LE(left, 60000 - 250);

    // Enabling it again, or a rebuild with the same period, does not restart it.
    m.SetTimerEnabled(true);
    EXPECT_LE(m.Timer->remainingTime(), left);
    QTimer::singleShot(0, &config, [&] { config.OKClick(); });
    m.Config1Click();
    EXPECT_TRUE(m.TimerEnabled());
    EXPECT_LE(m.Timer->remainingTime(), left);

    // A new period counts afresh.
    QTimer::singleShot(0, &config, [&] {
        config.Min->setValue(2);
        config.OKClick();
    });
    m.Config1Click();
    EXPECT_TRUE(m.TimerEnabled());
    EXPECT_GT(m.Timer->remainingTime(), 60000);
}

} // namespace pelko::mainwin_test
