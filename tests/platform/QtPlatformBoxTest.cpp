// The message boxes of the Qt platform show their text as it is.
#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
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
