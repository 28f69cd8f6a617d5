// Hints are shown as the text they are: a server's words in the count's hint
// never become a heading or a link.
#include "skinqt/ImgBtn.h"
#include "skinqt/SkinImage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

#include <memory>

using namespace pelko;

namespace {

// The text a reader of the shown tooltip sees.
QString SeenToolTip(QWidget* w)
{
    QHelpEvent e(QEvent::ToolTip, QPoint(1, 1), w->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(w, &e);
    const QString shown = QToolTip::text();
    QToolTip::hideText();
    if (!Qt::mightBeRichText(shown))
        return shown;
    QTextDocument doc;
    doc.setHtml(shown);
    return doc.toPlainText();
}

} // namespace

TEST(PlainHint, ImageAndButtonHintsShowTheirText)
{
    const std::string refusal = "Home : error: <h1 style=\"color:red\">Closed</h1><a href=\"https://x.example\">here</a>";
    QWidget parent;
    parent.resize(100, 100);
    auto* image = new TSkinImage(&parent);
    auto* button = new TImgBtn(&parent);
    image->setGeometry(0, 0, 40, 40);
    button->setGeometry(50, 0, 40, 40);
    button->setPicOff(QImage(10, 10, QImage::Format_RGB32));
    parent.show();

    image->setHint(refusal + "\rWork :  2 &amp; more");
    EXPECT_EQ(SeenToolTip(image).toStdString(), refusal + "\nWork :  2 &amp; more");
    EXPECT_EQ(image->toolTip().toStdString(), refusal + "\nWork :  2 &amp; more"); // the text, not its markup

    button->setToolTip(QString::fromStdString(refusal));
    EXPECT_EQ(SeenToolTip(button).toStdString(), refusal);
}
