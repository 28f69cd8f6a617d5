#include "skinqt/TrMemo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <memory>

using namespace pelko;

namespace {

const QColor kGround(0, 160, 0);

struct Stage {
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    TTransparentMemo* memo;
    Stage()
    {
        parent->resize(320, 240);
        parent->setAutoFillBackground(true);
        QPalette pal = parent->palette();
        pal.setColor(QPalette::Window, kGround);
        parent->setPalette(pal);
        memo = new TTransparentMemo(parent.get());
        memo->setGeometry(20, 30, 260, 150);
        parent->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(parent.get()));
    }
    QImage shot() const { return parent->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Collects what a widget repaints.
struct PaintRecorder : QObject {
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

} // namespace

TEST(TrMemo, SelectionNeverStays)
{
    Stage s;
    s.memo->setPlainText(QStringLiteral("From: someone\nSubject: hello there\n\nThe body text."));
    QTextCursor c = s.memo->textCursor();
    c.setPosition(2);
    c.setPosition(12, QTextCursor::KeepAnchor);
    s.memo->setTextCursor(c);
    EXPECT_FALSE(s.memo->textCursor().hasSelection());
    EXPECT_EQ(s.memo->textCursor().position(), 12);

    s.memo->setFocus();
    QTest::keyClick(s.memo, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(s.memo, Qt::Key_A, Qt::ControlModifier);
    EXPECT_FALSE(s.memo->textCursor().hasSelection());

    // Dragging over the text, and a double click on a word.
    QWidget* vp = s.memo->viewport();
    const int y = s.memo->cursorRect(QTextCursor(s.memo->document()->firstBlock())).center().y();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(2, y));
    QTest::mouseMove(vp, QPoint(120, y));
    QTest::mouseMove(vp, QPoint(150, y + 30));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(150, y + 30));
    QApplication::processEvents();
    EXPECT_FALSE(s.memo->textCursor().hasSelection());
    QTest::mouseDClick(vp, Qt::LeftButton, {}, QPoint(20, y));
    QApplication::processEvents();
    EXPECT_FALSE(s.memo->textCursor().hasSelection());

    // Without a parent, repaint requests are ignored without harm.
    TTransparentMemo alone;
    alone.setPlainText(QStringLiteral("alone"));
    alone.repaintBehind();
    QApplication::processEvents();
    EXPECT_EQ(alone.toPlainText(), QStringLiteral("alone"));
}

TEST(TrMemo, TextInFontColourWithoutBackgroundOrFrame)
{
    Stage s;
    s.memo->setSkinFont("DejaVu Sans", 16, true, false, 0xFF0000u); // blue: the high byte
    s.memo->setPlainText(QStringLiteral("MMMM WWWW\nHHHH"));
    EXPECT_EQ(s.memo->font().pointSize(), 16);
    EXPECT_TRUE(s.memo->font().bold());
    QApplication::processEvents();

    const QImage img = s.shot();
    const QRect area = s.memo->geometry();
    int blue = 0, ground = 0, reddish = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c(img.pixel(x, y));
            ground += c == kGround;
            blue += c.blue() > 200 && c.red() < 60 && c.green() < 60;
            reddish += c.red() > 150;
        }
    EXPECT_GT(blue, 100);
    EXPECT_EQ(reddish, 0);
    // The parent shows everywhere but under the letters: no box, no frame.
    EXPECT_GT(ground, area.width() * area.height() * 8 / 10);
    EXPECT_EQ(QColor(img.pixel(area.topLeft())), kGround);
    EXPECT_EQ(QColor(img.pixel(area.bottomRight())), kGround);
}

TEST(TrMemo, ParentRepaintsBehindAfterTextChangeAndScroll)
{
    Stage s;
    QString lines;
    for (int i = 0; i < 60; ++i)
        lines += QStringLiteral("line %1 of the message body\n").arg(i);
    s.memo->setPlainText(lines);
    QApplication::processEvents();

    PaintRecorder rec;
    s.parent->installEventFilter(&rec);
    s.memo->setPlainText(QStringLiteral("short"));
    QTRY_VERIFY(rec.painted.contains(s.memo->geometry()));
    const QImage img = s.shot();
    for (int y = s.memo->y() + 40; y < s.memo->y() + 140; ++y)
        for (int x = s.memo->x(); x < s.memo->x() + 240; ++x)
            ASSERT_EQ(QColor(img.pixel(x, y)), kGround) << "old text at " << x << "," << y;

    s.memo->setPlainText(lines);
    QApplication::processEvents();
    rec.painted = QRegion();
    ASSERT_GT(s.memo->verticalScrollBar()->maximum(), 5);
    s.memo->verticalScrollBar()->setValue(5);
    QTRY_VERIFY(rec.painted.contains(s.memo->geometry()));
    EXPECT_EQ(s.memo->cursorForPosition(QPoint(2, 2)).blockNumber(), 5);
}
