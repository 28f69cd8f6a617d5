// The window itself: skin, outline, menu, dragging, the modal run from the
// main window and the main window's timer around it.
#include "MsgListFixture.h"

#include "skin/SkinMessages.h"
#include "skinqt/ImgBtn.h"
#include "skinqt/RegionAdapter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QMouseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace pelko::msglist_test {
namespace {

QImage picture(const std::string& file) { return QImage(QString::fromStdString(file)); }

TEST_F(MsgListTest, SkinMenuAndDragging)
{
    Options o;
    o.autoconnect = false;
    start(40, o);
    const std::string skin = skinDir("default");
    EXPECT_TRUE(win->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(win->windowFlags() & Qt::WindowStaysOnTopHint);
    const std::pair<TImgBtn*, const char*> hints[] = {{win->PrevBtn, "previous message"}, {win->NextBtn, "next message"},
        {win->ReplyBtn, "reply to sender"}, {win->DeleteBtn, "delete message"}, {win->ExitBtn, "close window"}};
    for (const auto& [button, hint] : hints)
        EXPECT_EQ(button->toolTip().toStdString(), hint);

    win->show();
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
    EXPECT_EQ(win->Mess->geometry(), QRect(26, 60, 512, 220));
    EXPECT_EQ(win->Mess->font().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(win->Mess->font().pointSize(), 9);
    EXPECT_EQ(win->Mess->textColour(), QColor(22, 44, 66));
    EXPECT_EQ(win->NextBtn->pos(), QPoint(58, 298));
    EXPECT_EQ(win->NextBtn->PicOn(), picture(skin + "msg_next_over.bmp"));
    EXPECT_EQ(win->ExitBtn->pos(), QPoint(516, 20));
    EXPECT_EQ(win->ExitBtn->PicOff(), picture(skin + "msg_close.bmp"));

    const QImage bk = picture(skin + "msgwindow.bmp");
    EXPECT_EQ(win->size(), bk.size());
    EXPECT_TRUE((win->mask() ^ RegionFromImage(bk)).isEmpty());
    const QRect screen = win->screen()->geometry();
    EXPECT_EQ(win->pos(), QPoint(screen.x() + (screen.width() - bk.width()) / 2,
                                 screen.y() + (screen.height() - bk.height()) / 2));

    // Paints and activations reuse the picture; a new showing or skin reads it.
    win->repaint();
    win->FormActivate();
    EXPECT_EQ(win->BackgroundLoads(), 1);
    win->hide();
    main->msgSkin().fontstyle = "Bold Italic";
    win->show();
    EXPECT_EQ(win->BackgroundLoads(), 2);
    EXPECT_TRUE(win->Mess->font().bold() && win->Mess->font().italic());
    main->msgSkin().msgbkng = skinDir("ember") + "msgwindow.bmp";
    win->FormActivate();
    EXPECT_EQ(win->BackgroundLoads(), 3);
    EXPECT_TRUE((win->mask() ^ RegionFromImage(picture(main->msgSkin().msgbkng))).isEmpty());

    // A right click on the text opens the window's menu.
    ASSERT_EQ(win->MnuMsg->actions(), (QList<QAction*>{win->Save, win->Copy, win->N2, win->CloseMsg}));
    EXPECT_EQ(win->Save->text(), QStringLiteral("Save attachment"));
    EXPECT_FALSE(win->Save->icon().isNull());
    EXPECT_EQ(win->CloseMsg->text(), QStringLiteral("Close window"));
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(10, 10), win->Mess->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(win->Mess->viewport(), &ev);
    EXPECT_TRUE(win->MnuMsg->isVisible());
    win->MnuMsg->hide();

    // Dragging follows the cursor in screen coordinates, plain left drags only.
    const QPoint p0 = win->pos();
    win->FormMouseDown(Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    win->FormMouseMove(Qt::LeftButton, Qt::NoModifier, QPoint(130, 90));
    win->FormMouseMove(Qt::LeftButton, Qt::NoModifier, QPoint(131, 95));
    EXPECT_EQ(win->pos(), p0 + QPoint(31, -5));
    win->FormMouseMove(Qt::LeftButton, Qt::ControlModifier, QPoint(300, 300));
    EXPECT_EQ(win->pos(), p0 + QPoint(31, -5));

    // A press on a button followed by a move is the button's: no drag.
    const QPoint on = win->NextBtn->mapToGlobal(QPoint(2, 2));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(on), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(win->NextBtn, &press);
    const QPoint inWindow = win->mapFromGlobal(on + QPoint(3, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(inWindow), QPointF(on + QPoint(3, 2)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(win.get(), &move);
    EXPECT_EQ(win->pos(), p0 + QPoint(31, -5));

    // An unreadable background: one report, a window that can still be closed.
    main->msgSkin().msgbkng = dir() + "missing.bmp";
    EXPECT_FALSE(main->Guarded([this] { win->FormActivate(); }));
    win->FormActivate();
    EXPECT_EQ(fake.boxes, std::vector<std::string>{"Cannot load picture " + dir() + "missing.bmp"});
    EXPECT_GE(win->width(), 100);
    EXPECT_TRUE(win->mask().isEmpty());
    win->CloseMsg->trigger();
    EXPECT_FALSE(win->isVisible());
}

TEST_F(MsgListTest, TextIsCopiedKeysStepAndTheThumbShowsTheTop)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(39);
    std::string longMail = plainMail(1);
    for (int i = 0; i < 60; ++i)
        longMail += "Line " + std::to_string(i) + " of a long message.\r\n";
    addMail(39, longMail);
    addMail(39, plainMail(2));
    addMail(39, plainMail(3));
    start(39);
    std::vector<std::string> notes; // the loading note each time the server tells something
    const auto status = main->Session().OnStatus;
    main->Session().OnStatus = [&](const std::string& account, const std::string& text) {
        notes.push_back(win->Loading->isHidden() ? "" : win->Loading->text().toStdString());
        status(account, text);
    };
    win->ShowMessageNo(1);
    awaitExchanges();
    win->show();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back(), "Loading message 1...");
    EXPECT_TRUE(win->Loading->isHidden());
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));

    // The scroll bar's thumb at the top: there the bar is drawn nearer to
    // the text's colour than at the bottom, in the groove.
    QScrollBar* bar = win->Mess->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    const QImage drawn = win->grab(QRect(bar->mapTo(win.get(), QPoint(0, 0)), bar->size())).toImage();
    const QColor ink = win->Mess->textColour();
    const auto distance = [&](int y) {
        const QColor c = drawn.pixelColor(drawn.width() / 2, y);
        return std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) + std::abs(c.blue() - ink.blue());
    };
    EXPECT_LT(distance(8), distance(drawn.height() - 8) - 100);

    // Select all and copy: the clipboard holds the text.
    QApplication::clipboard()->clear();
    QTest::keyClick(win->Mess, Qt::Key_A, Qt::ControlModifier);
    awaitExchanges();
    QTest::keyClick(win->Mess, Qt::Key_C, Qt::ControlModifier);
    awaitExchanges();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), win->ShownText());
    EXPECT_TRUE(win->Mess->textCursor().hasSelection());

    // Right and Left step, the Alt and Ctrl forms too; Down scrolls the text.
    const std::pair<QKeyCombination, int> steps[] = {{Qt::Key_Right, 2},
                                                     {Qt::ALT | Qt::Key_Right, 3},
                                                     {Qt::CTRL | Qt::Key_PageDown, 1},
                                                     {Qt::Key_Left, 3},
                                                     {Qt::ALT | Qt::Key_Left, 2},
                                                     {Qt::CTRL | Qt::Key_PageUp, 1}};
    for (const auto& [key, expected] : steps) {
        notes.clear();
        QTest::keyClick(win->Mess, key.key(), key.keyboardModifiers());
        awaitExchanges();
        EXPECT_EQ(win->CurMsg(), expected);
        const std::string note = "Loading message " + std::to_string(expected) + "...";
        EXPECT_NE(std::find(notes.begin(), notes.end(), note), notes.end()) << ::testing::PrintToString(notes);
    }
    QTest::keyClick(win->Mess, Qt::Key_PageDown);
    awaitExchanges();
    EXPECT_EQ(win->CurMsg(), 1);
    EXPECT_GT(bar->value(), 0);

    // Delete asks first.
    fake.questionAnswers = {false};
    QTest::keyClick(win->Mess, Qt::Key_Delete);
    awaitExchanges();
    EXPECT_EQ(fake.questions, std::vector<std::string>{"Delete this message from the server?\r\rMessage 1"});
    EXPECT_EQ(DovecotMessageCount(39), 3);
    main->Session().OnStatus = status;
}

TEST_F(MsgListTest, MissingButtonPictureIsReportedAndTheWindowStillOpens)
{
    ASSERT_TRUE(copySkin(skinDir("default"), skinDir("broken")));
    ASSERT_TRUE(QFile::remove(QString::fromStdString(skinDir("broken") + "msg_next.bmp")));
    Options o;
    o.autoconnect = false;
    o.skin = "broken";
    start(35, o);
    main->SetTimerEnabled(true);

    win->show();
    EXPECT_EQ(fake.boxes, std::vector<std::string>{"Bitmap not found for [Memo_msgWindow] in skin.ini"});
    EXPECT_TRUE(win->isVisible());
    EXPECT_FALSE(win->PrevBtn->PicOff().isNull());
    EXPECT_TRUE(win->NextBtn->PicOff().isNull());
    EXPECT_TRUE(win->ExitBtn->PicOff().isNull()); // after the failing one
    EXPECT_FALSE(main->TimerEnabled()); // no check under the open window
    win->CloseMsgClick();
    EXPECT_TRUE(main->TimerEnabled());
}

TEST_F(MsgListTest, TimerIsPausedWhileOpenAndGivenBackOnClose)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(34, 2);
    Options o;
    o.autocheck = true;
    start(34, o);
    ASSERT_TRUE(main->TimerEnabled());

    // Double click on the status line: message 1, modal, no timer meanwhile.
    std::string seen;
    bool timerWhileOpen = true;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!win->isVisible())
            return;
        driver.stop();
        seen = line(1);
        timerWhileOpen = main->TimerEnabled();
        EXPECT_EQ(QApplication::activeModalWidget(), win.get());
        win->ExitBtn->OnClick();
    });
    driver.start();
    main->STATBMPMouseDown(Qt::LeftButton, Qt::NoModifier, true);
    awaitExchanges();
    EXPECT_EQ(seen, "Subj : Message 1");
    EXPECT_FALSE(timerWhileOpen);
    EXPECT_FALSE(win->isVisible());
    EXPECT_TRUE(main->TimerEnabled());

    main->SetTimerEnabled(false);
    win->show();
    win->CloseMsgClick();
    EXPECT_FALSE(main->TimerEnabled());

    // Closed another way (the window manager): the timer comes back too.
    main->SetTimerEnabled(true);
    win->show();
    EXPECT_FALSE(main->TimerEnabled());
    win->close();
    EXPECT_TRUE(main->TimerEnabled());
}

} // namespace
} // namespace pelko::msglist_test
