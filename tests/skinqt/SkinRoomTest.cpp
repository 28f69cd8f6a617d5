// Pelko's own skins have room for real mailboxes: a five-digit count, a
// status line of 26 characters, and mail hard-wrapped at 72 columns.
#include "SkinTestFiles.h"

#include "skin/SkinReader.h"
#include "skinqt/FontRender.h"
#include "skinqt/RegionAdapter.h"
#include "skinqt/TrMemo.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace pelko;

namespace {

QImage load(const std::string& file) { return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32); }

// Largest difference of a channel between any pixel of r and r's first pixel:
// small when r lies on the flat face of the display, not on its rim, its
// divider or the body around it.
int unevenness(const QImage& img, const QRect& r)
{
    const QRgb first = img.pixel(r.topLeft());
    int worst = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(c) - qRed(first)), std::abs(qGreen(c) - qGreen(first)),
                              std::abs(qBlue(c) - qBlue(first))});
        }
    return worst;
}

QRect placed(SkinPoint at, const std::string& file) { return QRect(QPoint(at.x, at.y), load(file).size()); }

} // namespace

class SkinRoom : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        dir = skintest::SkinsDir() + GetParam() + "/";
        ReadSkin(dir, m, w);
    }
    std::string dir;
    MainSkin m;
    MsgWindowSkin w;
};

TEST_P(SkinRoom, CountAndStatusFitTheDisplay)
{
    const QImage back = load(m.main);
    const QRegion outline = RegionFromImage(back);

    // The count image as the main window draws it: none of the five digits cut.
    const QImage count = RenderFontText(load(m.nbmsgbmp), "12345", m.nbmsgSize.x, m.nbmsgSize.y, m.maxchar, false);
    EXPECT_EQ(count.width(), 5 * m.nbmsgSize.x + 1);
    EXPECT_GE(m.maxchar, 26);
    const QRect countRect(QPoint(m.nbmsg.x, m.nbmsg.y), count.size());
    const QRect statusRect(m.status.x, m.status.y, m.maxchar * m.statusSize.x + 1, m.statusSize.y);

    const std::vector<QRect> others = {placed(m.connect, m.cnxbtnnormal),  placed(m.disconnect, m.disbtnnormal),
                                       placed(m.readmsg, m.readbtnnormal), placed(m.mailclient, m.runmailnormal),
                                       placed(m.online, m.onlinebmp),      placed(m.youhavemail, m.gotmail)};
    for (const auto& [rect, what] : {std::pair{countRect, "count"}, std::pair{statusRect, "status"}}) {
        EXPECT_TRUE(outline.contains(rect)) << what;
        EXPECT_LE(unevenness(back, rect), 8) << what << " does not sit on the display alone";
        for (const QRect& o : others)
            EXPECT_FALSE(rect.intersects(o)) << what << " overlaps an element at " << o.x() << "," << o.y();
    }
    EXPECT_FALSE(countRect.intersects(statusRect));
}

TEST_P(SkinRoom, TextAreaHoldsSeventySixColumns)
{
    const QImage msg = load(w.msgbkng);
    QWidget window;
    window.resize(msg.size());
    TTransparentMemo memo(&window);
    memo.setGeometry(w.memo_x, w.memo_y, w.memo_width, w.memo_height);
    memo.setSkinFont(w.fontname, w.fontsize, SkinFontIsBold(w.fontstyle), SkinFontIsItalic(w.fontstyle), w.fontcolor);

    const QFontMetricsF fm(memo.font());
    const qreal margins = 2 * memo.document()->documentMargin() + memo.verticalScrollBar()->sizeHint().width();
    EXPECT_LE(76 * fm.averageCharWidth() + margins, w.memo_width);

    // Lines of 76 characters stay whole in a message long enough to scroll.
    const QString lines[] = {
        "Thanks for the notes from Tuesday. I have put the draft on the shared drive,",
        "so please read section 3 before we meet again on Friday at 10:30 (room 12B).",
        "> Could you also check whether the invoice for March went out? Best, Annika.",
    };
    QString text;
    for (int i = 0; i < 20; ++i)
        for (const QString& l : lines)
            text += l + "\n";
    memo.setPlainText(text);
    window.show();
    QApplication::processEvents();
    ASSERT_TRUE(memo.verticalScrollBar()->isVisible());
    int broken = 0;
    for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) {
        memo.document()->documentLayout()->blockBoundingRect(b);
        broken += b.layout()->lineCount() > 1;
    }
    EXPECT_EQ(broken, 0);
}

INSTANTIATE_TEST_SUITE_P(Skins, SkinRoom, ::testing::Values("default", "ember"));
