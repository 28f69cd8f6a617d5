// The message boxes of the Qt platform show their text as it is.
#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

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
