// The message boxes of the Qt platform show their text as it is.
#include "platform_qt/QtPlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>

using namespace pelko;

TEST(QtPlatformBox, ServerTextIsNeverRendered)
{
    const std::string greeting = "-ERR <h1>Closed</h1><a href=\"https://x.example\">here</a>\r<img src=\"/etc/hosts\">";
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        format = box->textFormat();
        shown = box->text();
        box->accept();
    });
    QtPlatform().messageBox(greeting, nullptr);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown.toStdString(),
              "-ERR <h1>Closed</h1><a href=\"https://x.example\">here</a>\n<img src=\"/etc/hosts\">");
}

TEST(QtPlatformBox, QuestionIsPlainAndNoUnlessYesIsChosen)
{
    const std::string question = "Delete this message from the server?\r\r<b>Subject</b>";
    QtPlatform p;
    for (const auto& [button, answer] : {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::NoButton, false}}) {
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&, button = button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->text();
            format = box->textFormat();
            if (button == QMessageBox::NoButton)
                box->defaultButton()->click(); // Return
            else
                box->button(button)->click();
        });
        EXPECT_EQ(p.askYesNo(question, nullptr), answer);
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(shown.toStdString(), "Delete this message from the server?\n\n<b>Subject</b>");
    }
}

TEST(QtPlatformBox, AHugeTextShowsAFewShortLines)
{
    // One unbroken line of 200 KB, then a thousand more lines.
    std::string text = "-ERR " + std::string(200000, 'x');
    for (int i = 0; i < 1000; ++i)
        text += "\rline " + std::to_string(i);
    QStringList lines;
    int width = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        lines = box->text().remove(QChar(0x200B)).split('\n');
        width = box->width();
        box->accept();
    });
    QtPlatform().messageBox(text, nullptr);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], "-ERR " + QString(294, 'x') + QChar(0x2026));
    EXPECT_EQ(lines[11], "line 10");
    EXPECT_EQ(lines[12], QString(QChar(0x2026)));
    EXPECT_LT(width, QApplication::primaryScreen()->geometry().width() * 3 / 4);
}

TEST(QtPlatformBox, TrayTipIsShownAsItsText)
{
    const std::string tip = "Pelko - mail\nHome : error: <h1>Closed</h1> <a href=\"https://x.example\">here</a>";
    QtPlatform p;
    ASSERT_TRUE(p.trayAdd(tip, [](TrayPress) {}));
    p.trayShow(tip + "\nWork : 2", true);
    ASSERT_TRUE(p.trayIcon());
    QTextDocument seen;
    seen.setHtml(p.trayIcon()->toolTip());
    EXPECT_TRUE(Qt::mightBeRichText(p.trayIcon()->toolTip()));
    EXPECT_EQ(seen.toPlainText().toStdString(), tip + "\nWork : 2");
}
