#include "SkinTestFiles.h"

#include "skin/FontLayout.h"
#include "skinqt/FontRender.h"
#include "skinqt/SkinImage.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <thread>

using namespace pelko;
using skintest::TempSkinDir;

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

std::vector<int> dstXs(const FontTextLayout& l)
{
    std::vector<int> xs;
    for (const GlyphCell& c : l.cells)
        xs.push_back(c.dstX);
    return xs;
}

// A font picture whose every cell is filled with a colour naming it:
// red = column, green = row, blue 77; the cell's top-left pixel is white.
QImage codedFont(int W, int H, int cols, int rows)
{
    QImage img(W * cols, H * rows, QImage::Format_RGB32);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    img.setPixel(c * W + x, r * H + y, x == 0 && y == 0 ? qRgb(255, 255, 255) : qRgb(c, r, 77));
    return img;
}

} // namespace

TEST(FontLayout, StatusTexts)
{
    const FontTextLayout l = LayoutFontText("Connected", 8, 10, 128, true);
    EXPECT_EQ(l.width, 73);
    EXPECT_EQ(l.height, 10);
    EXPECT_EQ(dstXs(l), (std::vector<int>{1, 9, 17, 25, 33, 41, 49, 57, 65}));
    const std::string word = "CONNECTED";
    for (size_t i = 0; i < word.size(); ++i) {
        EXPECT_EQ(l.cells[i].srcX, (word[i] - 65) * 8);
        EXPECT_EQ(l.cells[i].srcY, 0);
    }

    // home-2 messages: hyphen and digit from row 1, the blank leaves a cell.
    const FontTextLayout h = LayoutFontText("home-2 messages", 8, 10, 128, true);
    ASSERT_EQ(h.cells.size(), 14u);
    EXPECT_EQ(h.width, 15 * 8 + 1);
    EXPECT_EQ(h.cells[3].srcX, ('E' - 65) * 8);
    EXPECT_EQ(h.cells[4].srcX, 5 * 8);
    EXPECT_EQ(h.cells[4].srcY, 10);
    EXPECT_EQ(h.cells[5].srcX, 10 * 8);
    EXPECT_EQ(h.cells[5].srcY, 10);
    EXPECT_EQ(h.cells[5].dstX, 41);
    EXPECT_EQ(h.cells[6].dstX, 57); // M after the blank cell
    EXPECT_EQ(h.cells[6].srcY, 0);
    // "@" is the last of row 1; "(" the first.
    const FontTextLayout at = LayoutFontText("(@", 8, 10, 128, true);
    EXPECT_EQ(at.cells[0].srcX, 0);
    EXPECT_EQ(at.cells[1].srcX, 24 * 8);

    // Skipped characters take no cell and leave no gap, yet widen the image.
    const FontTextLayout s = LayoutFontText("a!_[\xE9" "b", 8, 10, 128, true);
    EXPECT_EQ(s.width, 6 * 8 + 1);
    EXPECT_EQ(dstXs(s), (std::vector<int>{1, 9}));
    EXPECT_EQ(s.cells[1].srcX, 8);
}

TEST(FontLayout, LimitsAndCountImage)
{
    const FontTextLayout d = LayoutFontText("Disconnected", 7, 9, 5, true);
    EXPECT_EQ(d.width, 5 * 7 + 1);
    ASSERT_EQ(d.cells.size(), 5u);
    EXPECT_EQ(d.cells[4].srcX, ('O' - 65) * 7);

    const FontTextLayout empty = LayoutFontText("", 8, 10, 128, true);
    EXPECT_EQ(empty.width, 1);
    EXPECT_EQ(empty.height, 10);
    EXPECT_TRUE(empty.cells.empty());

    const FontTextLayout count = LayoutFontText("12", 9, 14, 128, false);
    EXPECT_EQ(count.width, 19);
    ASSERT_EQ(count.cells.size(), 2u);
    EXPECT_EQ(count.cells[0].srcX, 9);
    EXPECT_EQ(count.cells[1].srcX, 18);
    EXPECT_EQ(count.cells[1].srcY, 0);
    EXPECT_EQ(count.cells[1].dstX, 10);
    // On the count image a letter takes row 0 too, columns counted from "0".
    EXPECT_EQ(LayoutFontText("A", 9, 14, 128, false).cells[0].srcX, 17 * 9);

    EXPECT_EQ(LayoutFontText("abc", 0, 10, 128, true).width, 1);
    EXPECT_EQ(LayoutFontText("abc", 8, 0, 128, true).height, 0);
    EXPECT_EQ(LayoutFontText("abc", -8, -3, 128, true).width, 1);
    EXPECT_EQ(LayoutFontText("abc", 8, 10, 0, true).width, 1);
    EXPECT_EQ(LayoutFontText("abc", 8, 10, -4, true).width, 1);
    EXPECT_EQ(LayoutFontText("abc", 1 << 30, 10, 128, true).width, 3 * kMaxFontCell + 1);

    // The picture stays within the widest text picture, whatever the cell, text and limit.
    const FontTextLayout wide = LayoutFontText(std::string(256, 'M'), 1000, 1 << 20, 1 << 30, true);
    EXPECT_EQ(wide.width, 4 * 1000 + 1);
    EXPECT_EQ(wide.height, kMaxFontCell);
    EXPECT_EQ(wide.cells.size(), 4u);
    EXPECT_EQ(LayoutFontText(std::string(5000, '1'), 1, 10, 1 << 30, false).width, kMaxTextPictureWidth);
}

TEST(FontRender, CellsLandWhereTheLayoutSays)
{
    TempSkinDir t;
    const int W = 6, H = 5;
    const std::string fontFile = t.dir + "letters.bmp";
    ASSERT_TRUE(codedFont(W, H, 26, 2).save(QString::fromStdString(fontFile), "BMP"));

    TSkinImage img;
    img.setHint("old");
    DrawFontText(img, "Hi 2?!", W, H, fontFile, 128, true);
    EXPECT_EQ(img.hint(), "Hi 2?!");
    EXPECT_EQ(img.size(), QSize(6 * W + 1, H));
    const QImage& pic = img.picture();
    ASSERT_EQ(pic.size(), QSize(37, 5));
    EXPECT_EQ(img.transparentColor() & 0xFFFFFF, 0xFF00FFu);
    for (int y = 0; y < H; ++y)
        EXPECT_EQ(pic.pixel(0, y), kMagenta) << y; // column 0 is never drawn
    // H: row 0 col 7 at x=1; I: col 8 at x=7; blank; 2: row 1 col 10 at x=19; ?: row 1 col 23 at 25.
    const struct { int x, col, row; } want[] = {{1, 7, 0}, {7, 8, 0}, {19, 10, 1}, {25, 23, 1}};
    for (const auto& c : want) {
        EXPECT_EQ(pic.pixel(c.x, 0), qRgb(255, 255, 255)) << c.x;
        EXPECT_EQ(pic.pixel(c.x + 1, 2), qRgb(c.col, c.row, 77)) << c.x;
        EXPECT_EQ(pic.pixel(c.x + W - 1, H - 1), qRgb(c.col, c.row, 77)) << c.x;
    }
    for (int x = 13; x < 19; ++x)
        EXPECT_EQ(pic.pixel(x, 2), kMagenta) << x; // the blank
    for (int x = 31; x < 37; ++x)
        EXPECT_EQ(pic.pixel(x, 2), kMagenta) << x; // "!" skipped, space left empty

    // The count image keeps its hint; digits from row 0, columns from "0".
    TSkinImage count;
    count.setHint("NB Messages");
    DrawFontText(count, "12", W, H, fontFile, 128, false);
    EXPECT_EQ(count.hint(), "NB Messages");
    EXPECT_EQ(count.picture().pixel(2, 2), qRgb(1, 0, 77));
    EXPECT_EQ(count.picture().pixel(8, 2), qRgb(2, 0, 77));
    // "(" on the count image lies left of the font picture: nothing copied.
    DrawFontText(count, "(", W, H, fontFile, 128, false);
    EXPECT_EQ(count.picture().pixel(3, 2), kMagenta);

    // A cell size of 0 shows nothing and raises nothing.
    DrawFontText(img, "abc", W, 0, fontFile, 128, true);
    EXPECT_FALSE(img.hasPicture());
}

TEST(FontRender, FontLoadFailureAndChangedFiles)
{
    TempSkinDir t;
    TSkinImage img;
    const std::string fontFile = t.dir + "letters.bmp";
    ASSERT_TRUE(codedFont(4, 4, 26, 2).save(QString::fromStdString(fontFile), "BMP"));
    DrawFontText(img, "A", 4, 4, fontFile, 128, true);
    ASSERT_TRUE(img.hasPicture());

    // Hint first, picture cleared, then the error.
    try {
        DrawFontText(img, "New text", 4, 4, t.dir + "missing.bmp", 128, true);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot load picture " + t.dir + "missing.bmp");
    }
    EXPECT_EQ(img.hint(), "New text");
    EXPECT_FALSE(img.hasPicture());

    // A font file rewritten between two calls is read again.
    DrawFontText(img, "A", 4, 4, fontFile, 128, true);
    EXPECT_EQ(img.picture().pixel(2, 2), qRgb(0, 0, 77));
    QImage other = codedFont(4, 4, 26, 2);
    other.fill(qRgb(9, 9, 9));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(other.save(QString::fromStdString(fontFile), "BMP"));
    DrawFontText(img, "A", 4, 4, fontFile, 128, true);
    EXPECT_EQ(img.picture().pixel(2, 2), qRgb(9, 9, 9));
}

TEST(SkinImageControl, PictureSizeHintAndPresses)
{
    TSkinImage img;
    img.resize(3, 3);
    QImage pic(10, 6, QImage::Format_RGB32);
    pic.fill(qRgb(1, 2, 3));
    pic.setPixel(0, 5, qRgb(40, 50, 60));
    img.setPicture(pic);
    EXPECT_EQ(img.size(), QSize(3, 3)); // no autosize
    EXPECT_EQ(img.transparentColor() & 0xFFFFFF, 0x28323Cu);
    img.setAutosize(true);
    img.setPicture(pic);
    EXPECT_EQ(img.size(), QSize(10, 6));
    // The bottom-left colour is left out wherever it occurs.
    pic.setPixel(4, 1, qRgb(40, 50, 60));
    img.setPicture(pic);
    const QImage shown = img.grab().toImage();
    EXPECT_EQ(img.picture().pixel(4, 1), qRgb(40, 50, 60));
    EXPECT_NE(shown.pixel(5, 1) & 0xFFFFFF, shown.pixel(4, 1) & 0xFFFFFF);
    EXPECT_NE(shown.pixel(4, 1) & 0xFFFFFF, 0x28323Cu);
    EXPECT_EQ(shown.pixel(5, 1) & 0xFFFFFF, 0x010203u);

    img.setHint("home - 3\rwork - 1");
    EXPECT_EQ(img.hint(), "home - 3\rwork - 1");
    EXPECT_EQ(img.toolTip(), QStringLiteral("home - 3\nwork - 1"));

    EXPECT_THROW(img.loadPicture("/nonexistent/x.bmp"), std::runtime_error);
    EXPECT_TRUE(img.hasPicture()); // the old picture stays

    QWidget parent;
    TSkinImage child(&parent);
    child.resize(10, 10);
    std::vector<QEvent::Type> presses;
    QObject::connect(&child, &TSkinImage::mousePressed, [&](QMouseEvent* e) { presses.push_back(e->type()); });
    QTest::mousePress(&child, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(&child, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseDClick(&child, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_FALSE(presses.empty());
    EXPECT_EQ(presses.front(), QEvent::MouseButtonPress);
    EXPECT_EQ(presses.back(), QEvent::MouseButtonDblClick); // a double click reaches the handler too
    img.clearPicture();
    EXPECT_FALSE(img.hasPicture());
}
