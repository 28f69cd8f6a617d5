#include "skinqt/ImgBtn.h"

#include "skinqt/SkinAccessible.h"
#include "platform_qt/ShownText.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <stdexcept>

namespace pelko {

namespace {

constexpr QRgb kMagenta = 0xFF00FF; // compared without the alpha byte

QImage loadOrThrow(const std::string& file)
{
    QImage img(QString::fromUtf8(file.c_str()));
    if (img.isNull())
        throw std::runtime_error("Cannot load picture " + file);
    return img;
}

} // namespace

TImgBtn::TImgBtn(QWidget* parent) : QWidget(parent)
{
    resize(20, 20);
    // Windowless look: nothing of our own behind the picture.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_Hover, false);
    setMouseTracking(false);
    InstallSkinAccessibility();
}

QImage TImgBtn::maskedCopy(const QImage& pic)
{
    if (pic.isNull())
        return {};
    QImage out = pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFF) == kMagenta)
                line[x] = 0;
    }
    return out;
}

void TImgBtn::setPicOn(const QImage& pic)
{
    picOn_ = pic;
    drawOn_ = maskedCopy(pic);
    applyAutosize();
    update();
}

void TImgBtn::setPicOff(const QImage& pic)
{
    picOff_ = pic;
    drawOff_ = maskedCopy(pic);
    applyAutosize();
    update();
}

void TImgBtn::loadPicOn(const std::string& file) { setPicOn(loadOrThrow(file)); }
void TImgBtn::loadPicOff(const std::string& file) { setPicOff(loadOrThrow(file)); }

void TImgBtn::setFrame(bool on)
{
    frame_ = on;
    applyAutosize();
    update();
}

void TImgBtn::setAutosize(bool on)
{
    autosize_ = on;
    applyAutosize();
    update();
}

void TImgBtn::setCheckButton(bool on)
{
    checkButton_ = on;
    update();
}

void TImgBtn::setChecked(bool on)
{
    if (on == checked_)
        return;
    checked_ = on;
    update();
}

void TImgBtn::setCheckColor(const QColor& c)
{
    checkColor_ = c;
    update();
}

void TImgBtn::setFrameColor(const QColor& c)
{
    frameColor_ = c;
    update();
}

QColor TImgBtn::CheckColor() const
{
    return checkColor_.isValid() ? checkColor_ : palette().color(QPalette::Highlight);
}

QColor TImgBtn::FrameColor() const
{
    return frameColor_.isValid() ? frameColor_ : palette().color(QPalette::Button);
}

void TImgBtn::setCaption(const QString& caption)
{
    caption_ = caption;
    applyAutosize();
    update();
}

void TImgBtn::autosizeMargins(int& dx, int& dy) const
{
    dx = dy = frame_ ? 2 : 0;
    if (!caption_.isEmpty()) {
        QFontMetrics fm(font());
        dx += fm.horizontalAdvance(caption_) + 20;
        dy += fm.height() + 20;
    }
}

void TImgBtn::applyAutosize()
{
    if (!autosize_ || picOff_.isNull())
        return;
    int dx = 0, dy = 0;
    autosizeMargins(dx, dy);
    // The size follows the picture shown. Without a PicOn the hovered button
    // keeps PicOff's size: sizing it to nothing would take it from under the
    // mouse and make it flicker between the two states.
    const QImage& sizePic = (hover_ && !picOn_.isNull()) ? picOn_ : picOff_;
    const QSize want(sizePic.width() + dx, sizePic.height() + dy);
    if (size() != want)
        resize(want);
}

void TImgBtn::paintEvent(QPaintEvent*)
{
    if (picOff_.isNull())
        return;

    int dx = 0, dy = 0;
    if (autosize_)
        autosizeMargins(dx, dy);

    QPainter p(this);
    const int w = width(), h = height();

    if (frame_ && hover_) {
        p.fillRect(rect(), FrameColor());
        const QColor light = palette().color(QPalette::Light);
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor topLeft = pressed_ ? shadow : light;
        const QColor bottomRight = pressed_ ? light : shadow;
        // One-pixel 3-D frame: top row and left column in one colour, right
        // column and bottom row in the other (they own the two far corners).
        p.setPen(topLeft);
        p.drawLine(0, 0, w - 2, 0);
        p.drawLine(0, 0, 0, h - 2);
        p.setPen(bottomRight);
        p.drawLine(w - 1, 0, w - 1, h - 1);
        p.drawLine(0, h - 1, w - 1, h - 1);
    }

    if (frame_) {
        dx = 1;
        dy = caption_.isEmpty() ? 1 : 8;
    }

    const QImage& draw = (hover_ && !drawOn_.isNull()) ? drawOn_ : drawOff_;
    p.drawImage(dx + (w - draw.width()) / 2, dy, draw);

    if (!caption_.isEmpty()) {
        QFontMetrics fm(font());
        const int tw = fm.horizontalAdvance(caption_);
        const int th = fm.height();
        const int x = (w - tw) / 2;
        const int y = h - th - 5;
        if (checkButton_ && checked_)
            p.fillRect(QRect(x, y, tw, th), CheckColor());
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(x, y + fm.ascent(), caption_);
    }
}

void TImgBtn::mouseIn(const QPoint& pos)
{
    lastPos_ = pos;
    if (hover_)
        return;
    hover_ = true;
    applyAutosize();
    update();
    if (OnMouseEnter)
        OnMouseEnter(pos);
}

void TImgBtn::mouseOut(const QPoint& pos)
{
    lastPos_ = pos;
    if (!hover_ && !pressed_)
        return;
    hover_ = false;
    pressed_ = false;
    applyAutosize();
    update();
    if (OnMouseLeave)
        OnMouseLeave(pos);
}

void TImgBtn::enterEvent(QEnterEvent* e)
{
    mouseIn(e->position().toPoint());
    QWidget::enterEvent(e);
}

void TImgBtn::leaveEvent(QEvent* e)
{
    mouseOut(lastPos_);
    QWidget::leaveEvent(e);
}

void TImgBtn::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    lastPos_ = e->position().toPoint();
    // A press without an enter first (a window that appeared under the
    // mouse) still counts as being over the button.
    if (!hover_)
        mouseIn(lastPos_);
    pressed_ = true;
    tracking_ = true;
    update();
    e->accept();
}

void TImgBtn::mouseMoveEvent(QMouseEvent* e)
{
    // While the button is held the toolkit keeps sending moves here and holds
    // back the leave until the release; follow the pointer ourselves so that
    // leaving drops the pressed look and coming back shows the raised frame.
    if (tracking_) {
        const QPoint pos = e->position().toPoint();
        if (rect().contains(pos))
            mouseIn(pos);
        else
            mouseOut(pos);
    }
    QWidget::mouseMoveEvent(e);
}

void TImgBtn::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !tracking_) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    tracking_ = false;
    pressed_ = false;
    const QPoint pos = e->position().toPoint();
    const bool over = rect().contains(pos);
    update();
    e->accept();
    if (!over) {
        mouseOut(pos);
        return;
    }
    click();
}

void TImgBtn::click()
{
    // The handler may delete or hide this button (a dialog closing): nothing
    // of ours runs after it.
    QPointer<TImgBtn> self(this);
    emit clicked();
    if (self && OnClick) {
        auto handler = OnClick; // the handler may replace itself
        handler();
    }
}

void TImgBtn::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange)
        applyAutosize();
    QWidget::changeEvent(e);
}

bool TImgBtn::event(QEvent* e)
{
    // The hint is the button's name for assistive technology.
    if (e->type() == QEvent::ToolTipChange)
        NotifyAccessibleNameChanged(this);
    // ... and is shown as the text it is.
    if (ShowPlainToolTip(this, e))
        return true;
    return QWidget::event(e);
}

} // namespace pelko
