#include "skin/RegionScan.h"
#include "skinqt/RegionAdapter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QWidget>

#include <random>

using namespace pelko;

namespace {

constexpr uint32_t kMagentaValue = 0xFF00FF; // as a colour value (red low)
constexpr QRgb kMagenta = 0xFFFF00FF;        // as a pixel

std::vector<RegionRect> scan(const QImage& img, uint32_t transparent = kMagentaValue, uint32_t tolerance = 0)
{
    const QImage px = img.convertToFormat(QImage::Format_RGB32);
    return RegionFromBitmap(reinterpret_cast<const uint32_t*>(px.constBits()), px.width(), px.height(),
                            int(px.bytesPerLine() / 4), transparent, tolerance);
}

// The region of the non-magenta pixels, built the slow, obvious way.
QRegion slowRegion(const QImage& img)
{
    QRegion r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFF00FF)
                r += QRect(x, y, 1, 1);
    return r;
}

QRegion toRegion(const std::vector<RegionRect>& rects)
{
    QRegion r;
    for (const RegionRect& rc : rects)
        r += QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    return r;
}

QImage blob(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kMagenta);
    QPainter p(&img);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 90, 160));
    p.drawEllipse(QRect(2, 3, w - 6, h - 5));
    p.setBrush(QColor(255, 0, 255));
    p.drawEllipse(QRect(w / 3, h / 3, w / 5, h / 4)); // a hole
    p.setBrush(QColor(200, 30, 30));
    p.drawRect(QRect(w - 8, 0, 8, 6)); // an island
    return img;
}

} // namespace

TEST(RegionScan, RunsOfPlainPictures)
{
    QImage plain(7, 4, QImage::Format_RGB32);
    plain.fill(qRgb(10, 20, 30));
    const auto rows = scan(plain);
    ASSERT_EQ(rows.size(), 4u);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(rows[size_t(y)], (RegionRect{0, y, 7, y + 1}));
    const auto merged = MergeIdenticalRows(rows);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0], (RegionRect{0, 0, 7, 4}));

    QImage clear(5, 5, QImage::Format_RGB32);
    clear.fill(kMagenta);
    EXPECT_TRUE(scan(clear).empty());
    EXPECT_TRUE(MergeIdenticalRows(scan(clear)).empty());
    EXPECT_TRUE(RegionFromImage(clear).isEmpty());
    EXPECT_TRUE(RegionFromBitmap(nullptr, 5, 5, 5, kMagentaValue, 0).empty());
    EXPECT_TRUE(RegionFromImage(QImage()).isEmpty());

    // Runs end at a cut-out pixel and at the row end; alpha is ignored.
    QImage row(6, 1, QImage::Format_ARGB32);
    const QRgb px[] = {qRgba(1, 1, 1, 0), kMagenta, qRgb(2, 2, 2), qRgb(3, 3, 3), qRgba(255, 0, 255, 7), qRgb(4, 4, 4)};
    for (int x = 0; x < 6; ++x)
        row.setPixel(x, 0, px[x]);
    const auto runs = RegionFromBitmap(reinterpret_cast<const uint32_t*>(row.constBits()), 6, 1, 6, kMagentaValue, 0);
    EXPECT_EQ(runs, (std::vector<RegionRect>{{0, 0, 1, 1}, {2, 0, 4, 1}, {5, 0, 6, 1}}));
}

TEST(RegionScan, CheckerboardGivesOneRunPerPixel)
{
    QImage img(80, 60, QImage::Format_RGB32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x)
            img.setPixel(x, y, (x + y) % 2 ? kMagenta : qRgb(0, 0, 0));
    const auto runs = scan(img);
    EXPECT_EQ(runs.size(), 2400u);
    EXPECT_EQ(RegionArea(runs), 2400);
    // Neighbouring rows differ, so merging changes nothing here.
    EXPECT_EQ(MergeIdenticalRows(runs).size(), 2400u);
    EXPECT_TRUE((RegionFromImage(img) ^ slowRegion(img)).isEmpty());
}

TEST(RegionScan, ToleranceRanges)
{
    QImage img(4, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 1, 255));
    img.setPixel(1, 0, qRgb(255, 0, 255));
    img.setPixel(2, 0, qRgb(255, 10, 255));
    img.setPixel(3, 0, qRgb(249, 5, 255));
    // (255, 1, 255) is not magenta with tolerance 0.
    EXPECT_EQ(scan(img), (std::vector<RegionRect>{{0, 0, 1, 1}, {2, 0, 4, 1}}));

    // Colour 250,0,250 with tolerance 10,10,10: red and blue stop at 255
    // (no wrap-around to low values), green covers 0..10.
    const uint32_t base = 250 | 0 << 8 | 250u << 16, tol = 10 | 10 << 8 | 10u << 16;
    EXPECT_EQ(scan(img, base, tol), (std::vector<RegionRect>{{3, 0, 4, 1}}));
    QImage low(2, 1, QImage::Format_RGB32);
    low.setPixel(0, 0, qRgb(4, 0, 250)); // 250 + 10 must not wrap to 4
    low.setPixel(1, 0, qRgb(250, 11, 250));
    EXPECT_EQ(scan(low, base, tol).size(), 1u);
    EXPECT_EQ(RegionArea(scan(low, base, tol)), 2);

    // The colour value keeps red in the low byte: pure red value 0x0000FF.
    QImage reds(2, 1, QImage::Format_RGB32);
    reds.setPixel(0, 0, qRgb(255, 0, 0));
    reds.setPixel(1, 0, qRgb(0, 0, 255));
    EXPECT_EQ(scan(reds, 0x0000FF, 0), (std::vector<RegionRect>{{1, 0, 2, 1}}));
}

TEST(RegionScan, MergedAndCoarseOutlines)
{
    const QImage img = blob(120, 90);
    const auto runs = scan(img);
    const auto merged = MergeIdenticalRows(runs);
    EXPECT_LT(merged.size(), runs.size());
    EXPECT_EQ(RegionArea(merged), RegionArea(runs));
    const QRegion expected = slowRegion(img);
    EXPECT_TRUE((toRegion(runs) ^ expected).isEmpty());
    EXPECT_TRUE((toRegion(merged) ^ expected).isEmpty());
    // The one-call QRegion is the same area as the slow union.
    EXPECT_TRUE((RegionFromImage(img) ^ expected).isEmpty());
    EXPECT_EQ(RegionFromImage(img).rectCount(), int(merged.size()));
    // Merged output stays sorted by top, then left, without overlaps.
    for (size_t i = 1; i < merged.size(); ++i) {
        const RegionRect &a = merged[i - 1], &b = merged[i];
        EXPECT_TRUE(a.top < b.top || (a.top == b.top && a.bottom == b.bottom && a.right < b.left)) << i;
    }

    // A coarser outline covers everything the fine one does, within the
    // bounding box, with fewer rectangles.
    const auto coarse = CoarsenRows(runs, 8);
    const QRegion c = toRegion(coarse);
    EXPECT_TRUE((expected - c).isEmpty());
    EXPECT_TRUE((c - QRegion(expected.boundingRect())).isEmpty());
    EXPECT_LT(coarse.size(), merged.size());
}

TEST(RegionScan, TooManyRectanglesKeepTheWindowVisible)
{
    // Random noise: far above what the window system takes in one shape.
    QImage img(600, 400, QImage::Format_RGB32);
    std::mt19937 rng(7);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, rng() % 2 ? kMagenta : qRgb(30, 60, 90));
    ASSERT_GT(MergeIdenticalRows(scan(img)).size(), size_t(kMaxShapeRects));
    const QRegion r = RegionFromImage(img);
    EXPECT_FALSE(r.isEmpty());
    EXPECT_LE(r.rectCount(), kMaxShapeRects);
    EXPECT_TRUE((slowRegion(img) - r).isEmpty()); // every visible pixel kept
}

TEST(RegionScan, ApplyWindowShape)
{
    QWidget w;
    w.resize(120, 90);
    const QImage img = blob(120, 90);
    EXPECT_TRUE(ApplyWindowShape(&w, img));
    EXPECT_TRUE((w.mask() ^ slowRegion(img)).isEmpty());
    EXPECT_FALSE(ApplyWindowShape(&w, QImage()));
    EXPECT_TRUE(w.mask().isEmpty());
    QImage clear(10, 10, QImage::Format_RGB32);
    clear.fill(kMagenta);
    EXPECT_TRUE(ApplyWindowShape(&w, img));
    EXPECT_FALSE(ApplyWindowShape(&w, clear));
    EXPECT_TRUE(w.mask().isEmpty());
    EXPECT_FALSE(ApplyWindowShape(nullptr, img));
}
