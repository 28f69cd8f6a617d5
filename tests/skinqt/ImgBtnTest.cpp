#include "skinqt/ImgBtn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace pelko;

namespace {

const QColor kGround(0, 128, 0), kRed(255, 0, 0), kBlue(0, 0, 255);

QImage solid(int w, int h, const QColor& c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// A parent of a known colour: whatever the button leaves out shows kGround.
struct Stage {
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    TImgBtn* btn;
    QImage img;
    Stage()
    {
        parent->resize(200, 150);
        parent->setAutoFillBackground(true);
        QPalette pal = parent->palette();
        pal.setColor(QPalette::Window, kGround);
        parent->setPalette(pal);
        btn = new TImgBtn(parent.get());
        btn->move(10, 20);
    }
    void shoot() { img = parent->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor at(int x, int y) const { return QColor(img.pixel(btn->x() + x, btn->y() + y)); }
    int count(const QRect& r, const QColor& c) const
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += QColor(img.pixel(x, y)) == c;
        return n;
    }
    void enter()
    {
        QEnterEvent e(QPointF(2, 2), QPointF(12, 22), btn->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(btn, &e);
    }
    void leave()
    {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(btn, &e);
    }
};

} // namespace

TEST(ImgBtn, AutosizeFollowsThePictureShown)
{
    Stage s;
    EXPECT_EQ(s.btn->size(), QSize(20, 20));
    // Without PicOff nothing is painted and the size stays, even hovered.
    s.btn->setPicOn(solid(30, 30, kBlue));
    s.btn->setCaption(QStringLiteral("Hidden"));
    s.enter();
    s.shoot();
    EXPECT_EQ(s.btn->size(), QSize(20, 20));
    EXPECT_EQ(s.count(s.btn->geometry(), kGround), 20 * 20);
    s.leave();
    s.btn->setCaption({});

    int enters = 0, leaves = 0;
    s.btn->OnMouseEnter = [&](const QPoint&) { ++enters; };
    s.btn->OnMouseLeave = [&](const QPoint&) { ++leaves; };
    s.btn->setPicOff(solid(10, 8, kRed));
    s.btn->setPicOn(solid(20, 14, kBlue));
    EXPECT_EQ(s.btn->size(), QSize(10, 8));
    s.enter();
    EXPECT_EQ(s.btn->size(), QSize(20, 14));
    s.shoot();
    EXPECT_EQ(s.at(0, 0), kBlue); // at (0, 0): no frame, no caption
    EXPECT_EQ(s.at(20, 13), kGround);
    s.leave();
    EXPECT_EQ(s.btn->size(), QSize(10, 8));
    s.shoot();
    EXPECT_EQ(s.at(9, 7), kRed);
    EXPECT_EQ(s.at(15, 10), kGround);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

TEST(ImgBtn, PageButtonPictureCaptionFrameAndCheck)
{
    Stage s;
    const QColor check(184, 196, 216), frame(207, 207, 207);
    s.btn->setAutosize(false);
    s.btn->resize(72, 51);
    s.btn->setFrame(true);
    s.btn->setCheckButton(true);
    s.btn->setCheckColor(check);
    s.btn->setFrameColor(frame);
    s.btn->setCaption(QStringLiteral("Options"));
    QImage pic = solid(16, 16, kRed);
    pic.setPixel(3, 4, qRgb(255, 0, 255)); // left out
    pic.setPixel(5, 6, qRgb(255, 1, 255)); // drawn
    s.btn->setPicOff(pic);
    EXPECT_EQ(s.btn->size(), QSize(72, 51));

    s.shoot();
    EXPECT_EQ(s.at(29, 8), kRed); // x = 1 + (72 - 16) / 2, y = 8
    EXPECT_EQ(s.at(44, 23), kRed);
    EXPECT_EQ(s.at(28, 7), kGround);
    EXPECT_EQ(s.at(32, 12), kGround);
    EXPECT_EQ(s.at(34, 14), QColor(255, 1, 255));
    EXPECT_EQ(s.at(0, 0), kGround); // no frame while not hovered

    // The caption: centred, 5 pixels above the bottom, without background.
    QFontMetrics fm(s.btn->font());
    const int tw = fm.horizontalAdvance(QStringLiteral("Options")), th = fm.height();
    const QRect text(s.btn->x() + (72 - tw) / 2, s.btn->y() + 51 - th - 5, tw, th);
    const int letters = tw * th - s.count(text, kGround);
    EXPECT_GT(letters, 10);
    EXPECT_EQ(s.count(text.translated(0, th), kGround), tw * th); // nothing below
    EXPECT_EQ(s.count(s.btn->geometry(), check), 0);

    // Checked: the caption stands on CheckColor, hovered or not.
    s.btn->setChecked(true);
    s.shoot();
    EXPECT_EQ(QColor(s.img.pixel(text.topLeft())), check);
    EXPECT_EQ(QColor(s.img.pixel(text.topLeft() - QPoint(1, 1))), kGround);
    EXPECT_EQ(s.count(text, check), tw * th - letters);

    // Hovered: FrameColor fill and a raised frame; pressed: sunken.
    const QColor light(s.btn->palette().color(QPalette::Light).rgb());
    const QColor dark(s.btn->palette().color(QPalette::Dark).rgb());
    s.enter();
    s.shoot();
    EXPECT_EQ(s.at(2, 2), frame);
    EXPECT_EQ(s.at(0, 25), light);
    EXPECT_EQ(s.at(71, 25), dark);
    EXPECT_EQ(s.at(32, 12), frame); // magenta still left out
    EXPECT_EQ(QColor(s.img.pixel(text.topLeft())), check);
    QTest::mousePress(s.btn, Qt::LeftButton, {}, QPoint(30, 20));
    s.shoot();
    EXPECT_EQ(s.at(0, 0), dark);
    EXPECT_EQ(s.at(71, 50), light);
    QTest::mouseRelease(s.btn, Qt::LeftButton, {}, QPoint(30, 20));

    s.btn->setChecked(false);
    s.leave();
    s.shoot();
    EXPECT_EQ(s.count(s.btn->geometry(), check) + s.count(s.btn->geometry(), frame), 0);
}

TEST(ImgBtn, ClickOnlyOnReleaseOverTheButton)
{
    Stage s;
    s.btn->setPicOff(solid(30, 20, kRed));
    int clicks = 0, emitted = 0;
    s.btn->OnClick = [&] { ++clicks; };
    QObject::connect(s.btn, &TImgBtn::clicked, [&] { ++emitted; });

    s.enter();
    QTest::mousePress(s.btn, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(s.btn->isPressed());
    EXPECT_EQ(clicks, 0);
    QTest::mouseRelease(s.btn, Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(emitted, 1);
    EXPECT_FALSE(s.btn->isPressed());

    // Press, leave while held, release outside: no click, normal state.
    QTest::mousePress(s.btn, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(s.btn, QPoint(50, 5));
    EXPECT_FALSE(s.btn->isHovered() || s.btn->isPressed());
    QTest::mouseRelease(s.btn, Qt::LeftButton, {}, QPoint(50, 5));
    s.enter();
    QTest::mousePress(s.btn, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(s.btn, Qt::LeftButton, {}, QPoint(5, 40));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(s.btn->isHovered() || s.btn->isPressed());

    // Leaving while pressed and coming back: raised, and the release clicks.
    s.enter();
    QTest::mousePress(s.btn, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(s.btn, QPoint(-5, 5));
    QTest::mouseMove(s.btn, QPoint(5, 5));
    EXPECT_TRUE(s.btn->isHovered());
    EXPECT_FALSE(s.btn->isPressed());
    QTest::mouseRelease(s.btn, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
    QTest::mouseClick(s.btn, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
}

TEST(ImgBtn, LoadingPictures)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("btn.bmp"));
    ASSERT_TRUE(solid(12, 9, kBlue).save(file, "BMP"));
    TImgBtn btn;
    btn.loadPicOff(file.toStdString());
    EXPECT_EQ(btn.size(), QSize(12, 9));
    const std::string missing = dir.filePath(QStringLiteral("none")).toStdString();
    EXPECT_THROW(btn.loadPicOn(missing), std::runtime_error);
    EXPECT_THROW(btn.loadPicOff(missing), std::runtime_error);
    EXPECT_EQ(QColor(btn.PicOff().pixel(3, 3)), kBlue); // the old picture stays
}
