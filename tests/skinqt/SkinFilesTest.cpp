// Pelko's own skins: complete, loadable, and drawn the way their files say.
#include "SkinTestFiles.h"

#include "skin/SkinInfo.h"
#include "skin/SkinReader.h"
#include "skinqt/FontRender.h"
#include "skinqt/RegionAdapter.h"
#include "skinqt/SkinImage.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdlib>

using namespace pelko;

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

QImage load(const std::string& file) { return QImage(QString::fromStdString(file)); }
bool isMagenta(QRgb c) { return (c & 0xFFFFFF) == 0xFF00FF; }

// Pinkish pixels next to magenta would show as a fringe on the desktop.
int nearMagentaPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (!isMagenta(c) && std::abs(qRed(c) - 255) + qGreen(c) + std::abs(qBlue(c) - 255) < 90)
                ++n;
        }
    return n;
}

QRegion opaquePixels(const QImage& img)
{
    QRegion r;
    for (int y = 0; y < img.height(); ++y) {
        int x = 0;
        while (x < img.width()) {
            if (isMagenta(img.pixel(x, y))) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < img.width() && !isMagenta(img.pixel(x, y)))
                ++x;
            r += QRect(x0, y, x - x0, 1);
        }
    }
    return r;
}

struct LoadedSkin {
    std::string dir;
    MainSkin m;
    MsgWindowSkin w;
};

LoadedSkin readSkin(const std::string& name)
{
    LoadedSkin s;
    s.dir = skintest::SkinsDir() + name + "/";
    ReadSkin(s.dir, s.m, s.w);
    return s;
}

// The window background as the main window paints it.
class Background : public QWidget {
public:
    explicit Background(const QImage& img) : img_(img) { resize(img.size()); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, img_); }

private:
    QImage img_;
};

} // namespace

class OwnSkin : public ::testing::TestWithParam<const char*> {};

TEST_P(OwnSkin, EveryKeyPresentAndEveryPictureLoads)
{
    const LoadedSkin s = readSkin(GetParam());
    const MainSkin& m = s.m;
    const MsgWindowSkin& w = s.w;
    EXPECT_FALSE(m.NoMsgWindow);
    const std::string files[] = {m.main, m.cnxbtnnormal, m.cnxbtnselect, m.readbtnnormal, m.readbtnselect,
                                 m.nbmsgbmp, m.fontbmp, m.onlinebmp, m.notonlinebmp, m.disbtnnormal,
                                 m.disbtnselect, m.runmailnormal, m.runmailselect, m.gotmail, m.nomail,
                                 w.msgbkng, w.prevbtnnormal, w.prevbtnselect, w.nextbtnnormal, w.nextbtnselect,
                                 w.replybtnnormal, w.replybtnselect, w.deletebtnnormal, w.deletebtnselect,
                                 w.closebtnnormal, w.closebtnselect};
    for (const std::string& f : files) {
        EXPECT_EQ(f.find("none"), std::string::npos) << f;
        const QImage img = load(f);
        ASSERT_FALSE(img.isNull()) << f;
        EXPECT_TRUE(isMagenta(img.pixel(0, img.height() - 1))) << f << ": bottom-left must be the clear colour";
        EXPECT_EQ(nearMagentaPixels(img), 0) << f;
    }
    // Mouse-over pictures match their normal ones in size.
    const std::pair<std::string, std::string> pairs[] = {
        {m.cnxbtnnormal, m.cnxbtnselect},   {m.readbtnnormal, m.readbtnselect}, {m.disbtnnormal, m.disbtnselect},
        {m.runmailnormal, m.runmailselect}, {m.gotmail, m.nomail},              {m.onlinebmp, m.notonlinebmp},
        {w.prevbtnnormal, w.prevbtnselect}, {w.nextbtnnormal, w.nextbtnselect}, {w.closebtnnormal, w.closebtnselect}};
    for (const auto& [a, b] : pairs)
        EXPECT_EQ(load(a).size(), load(b).size()) << a;

    // Fonts hold their rows and cells.
    EXPECT_GE(load(m.fontbmp).width(), 26 * m.statusSize.x);
    EXPECT_GE(load(m.fontbmp).height(), 2 * m.statusSize.y);
    EXPECT_GE(load(m.nbmsgbmp).width(), 10 * m.nbmsgSize.x);
    EXPECT_GE(load(m.nbmsgbmp).height(), m.nbmsgSize.y);
    EXPECT_GT(m.statusSize.x * m.statusSize.y, 0);
    EXPECT_GT(m.nbmsgSize.x * m.nbmsgSize.y, 0);
    EXPECT_GE(m.maxchar, 12); // "Disconnected" fits

    // Everything sits on the shaped background, not on the desktop.
    const QImage back = load(m.main);
    EXPECT_GE(back.width(), 180);
    EXPECT_GE(back.height(), 80);
    const QRegion outline = RegionFromImage(back);
    EXPECT_TRUE(isMagenta(back.pixel(0, 0))) << "the outline is not a plain rectangle";
    const std::pair<SkinPoint, std::string> placed[] = {
        {m.connect, m.cnxbtnnormal}, {m.disconnect, m.disbtnnormal}, {m.readmsg, m.readbtnnormal},
        {m.mailclient, m.runmailnormal}, {m.online, m.onlinebmp}, {m.youhavemail, m.gotmail}};
    for (const auto& [at, file] : placed)
        EXPECT_TRUE(outline.contains(QRect(QPoint(at.x, at.y), load(file).size()))) << file;
    const int statusWidth = m.statusSize.x * m.maxchar + 1;
    EXPECT_TRUE(outline.contains(QRect(m.status.x, m.status.y, statusWidth, m.statusSize.y)));
    EXPECT_TRUE(outline.contains(QRect(m.nbmsg.x, m.nbmsg.y, 3 * m.nbmsgSize.x + 1, m.nbmsgSize.y)));
    // The status line never runs into the count.
    EXPECT_TRUE(m.status.x + statusWidth <= m.nbmsg.x || m.status.y + m.statusSize.y <= m.nbmsg.y);

    const QImage msg = load(w.msgbkng);
    const QRegion msgOutline = RegionFromImage(msg);
    EXPECT_TRUE(msgOutline.contains(QRect(w.memo_x, w.memo_y, w.memo_width, w.memo_height)));
    EXPECT_GE(w.memo_width, 200);
    EXPECT_GE(w.memo_height, 100);
    const std::pair<SkinPoint, std::string> buttons[] = {{w.prevbtnpos, w.prevbtnnormal},
                                                         {w.nextbtnpos, w.nextbtnnormal},
                                                         {w.replybtnpos, w.replybtnnormal},
                                                         {w.deletebtnpos, w.deletebtnnormal},
                                                         {w.closebtnpos, w.closebtnnormal}};
    for (const auto& [at, file] : buttons) {
        const QRect r(QPoint(at.x, at.y), load(file).size());
        EXPECT_TRUE(msgOutline.contains(r)) << file;
        EXPECT_FALSE(r.intersects(QRect(w.memo_x, w.memo_y, w.memo_width, w.memo_height))) << file;
    }
    // Text colour stands out from the paper under the memo.
    const QColor paper = msg.pixelColor(w.memo_x + w.memo_width / 2, w.memo_y + w.memo_height / 2);
    const QColor ink(int(w.fontcolor & 0xFF), int(w.fontcolor >> 8 & 0xFF), int(w.fontcolor >> 16 & 0xFF));
    EXPECT_GT(std::abs(paper.lightness() - ink.lightness()), 120);

    const SkinInfo info = ReadSkinInfo(s.dir + "skin.ini");
    EXPECT_EQ(info.dir, s.dir);
    for (const std::string* v : {&info.name, &info.author, &info.info})
        EXPECT_FALSE(v->empty());
    // No address that leads nowhere: the skins made here name none.
    for (const std::string* v : {&info.mail, &info.web})
        EXPECT_EQ(v->find("example."), std::string::npos) << *v;
}

INSTANTIATE_TEST_SUITE_P(Skins, OwnSkin, ::testing::Values("default", "ember"));

TEST(OwnSkins, AreVisiblyDifferent)
{
    const LoadedSkin a = readSkin("default"), b = readSkin("ember");
    const QImage ma = load(a.m.main), mb = load(b.m.main);
    EXPECT_NE(ma.size(), mb.size());
    EXPECT_NE(ReadSkinInfo(a.dir + "skin.ini").name, ReadSkinInfo(b.dir + "skin.ini").name);
    // Average colour of the visible pixels differs clearly (blue against copper).
    auto average = [](const QImage& img) {
        long r = 0, bl = 0, n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (!isMagenta(img.pixel(x, y))) {
                    r += qRed(img.pixel(x, y));
                    bl += qBlue(img.pixel(x, y));
                    ++n;
                }
        return std::make_pair(r / n, bl / n);
    };
    EXPECT_GT(average(ma).second, average(ma).first);
    EXPECT_GT(average(mb).first, average(mb).second);
}

TEST(OwnSkins, DefaultMainWindowRendersAsItsFilesSay)
{
    const LoadedSkin s = readSkin("default");
    const MainSkin& m = s.m;
    const QImage back = load(m.main).convertToFormat(QImage::Format_RGB32);

    Background win(back);
    EXPECT_TRUE(ApplyWindowShape(&win, back));
    EXPECT_TRUE((win.mask() ^ opaquePixels(back)).isEmpty());

    TSkinImage flag(&win), online(&win), status(&win), count(&win);
    flag.setAutosize(true);
    online.setAutosize(true);
    flag.move(m.youhavemail.x, m.youhavemail.y);
    online.move(m.online.x, m.online.y);
    status.move(m.status.x, m.status.y);
    count.move(m.nbmsg.x, m.nbmsg.y);
    flag.loadPicture(m.nomail);
    online.loadPicture(m.onlinebmp);
    DrawFontText(status, "Connected", m.statusSize.x, m.statusSize.y, m.fontbmp, m.maxchar, true);
    DrawFontText(count, "307", m.nbmsgSize.x, m.nbmsgSize.y, m.nbmsgbmp, m.maxchar, false);
    const QImage shot = win.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), back.size());

    // An image control shows its picture except the bottom-left colour,
    // through which the background shows.
    auto expectShown = [&](const QImage& pic, QPoint at, const char* what) {
        const QRgb clear = pic.pixel(0, pic.height() - 1) & 0xFFFFFF;
        int shown = 0, wrong = 0;
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x) {
                const QRgb p = pic.pixel(x, y);
                const bool see = (p & 0xFFFFFF) != clear;
                const QRgb want = see ? p : back.pixel(at.x() + x, at.y() + y);
                shown += see;
                wrong += (shot.pixel(at.x() + x, at.y() + y) & 0xFFFFFF) != (want & 0xFFFFFF);
            }
        EXPECT_GT(shown, 0) << what;
        EXPECT_EQ(wrong, 0) << what;
    };
    expectShown(load(m.nomail).convertToFormat(QImage::Format_RGB32), QPoint(m.youhavemail.x, m.youhavemail.y),
                "FLAG");
    expectShown(load(m.onlinebmp).convertToFormat(QImage::Format_RGB32), QPoint(m.online.x, m.online.y), "Online");

    // The status line, cell by cell from the font file: C O N N E C T E D.
    const QImage font = load(m.fontbmp).convertToFormat(QImage::Format_RGB32);
    const int W = m.statusSize.x, H = m.statusSize.y;
    QImage expected(9 * W + 1, H, QImage::Format_RGB32);
    expected.fill(kMagenta);
    const std::string word = "CONNECTED";
    for (size_t i = 0; i < word.size(); ++i)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                expected.setPixel(1 + int(i) * W + x, y, font.pixel((word[i] - 'A') * W + x, y));
    EXPECT_EQ(status.size(), expected.size());
    expectShown(expected, QPoint(m.status.x, m.status.y), "STATBMP");
    EXPECT_EQ(status.hint(), "Connected");

    const QImage digits = load(m.nbmsgbmp).convertToFormat(QImage::Format_RGB32);
    const int DW = m.nbmsgSize.x, DH = m.nbmsgSize.y;
    QImage expectedCount(3 * DW + 1, DH, QImage::Format_RGB32);
    expectedCount.fill(kMagenta);
    const std::string number = "307";
    for (size_t i = 0; i < number.size(); ++i)
        for (int y = 0; y < DH; ++y)
            for (int x = 0; x < DW; ++x)
                expectedCount.setPixel(1 + int(i) * DW + x, y, digits.pixel((number[i] - '0') * DW + x, y));
    expectShown(expectedCount, QPoint(m.nbmsg.x, m.nbmsg.y), "NBMSGBMP");

    // Outside the controls the window is its background.
    EXPECT_EQ(shot.pixel(back.width() / 2, back.height() - 4), back.pixel(back.width() / 2, back.height() - 4));
}
