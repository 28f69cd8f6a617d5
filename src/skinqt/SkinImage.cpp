#include "skinqt/SkinImage.h"

#include "skinqt/SkinAccessible.h"
#include "platform_qt/ShownText.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <stdexcept>

namespace pelko {

TSkinImage::TSkinImage(QWidget* parent) : QWidget(parent)
{
    // Draws only its picture: whatever lies below shows through the rest.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    InstallSkinAccessibility();
}

void TSkinImage::setPicture(const QImage& img)
{
    if (img.isNull()) {
        clearPicture();
        return;
    }
    picture_ = img;
    transparent_ = img.pixel(0, img.height() - 1);
    // The transparent colour becomes alpha 0, compared without alpha as a
    // bitmap file has none.
    QImage shown = img.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent_ & 0xFFFFFF;
    for (int y = 0; y < shown.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            line[x] = (line[x] & 0xFFFFFF) == key ? 0 : (line[x] | 0xFF000000);
    }
    shown_ = QPixmap::fromImage(shown);
    if (autosize_)
        resize(img.size());
    update();
}

void TSkinImage::clearPicture()
{
    picture_ = QImage();
    shown_ = QPixmap();
    transparent_ = 0;
    update();
}

void TSkinImage::loadPicture(const std::string& file)
{
    QImage img;
    if (!img.load(QString::fromUtf8(file.data(), int(file.size()))) || img.isNull())
        throw std::runtime_error("Cannot load picture " + file);
    setPicture(img);
}

void TSkinImage::setHint(const std::string& text)
{
    hint_ = text;
    // Hints may carry CR or CR LF line breaks; the tooltip wants "\n".
    QString shown = QString::fromUtf8(text.data(), int(text.size()));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setToolTip(shown);
    NotifyAccessibleNameChanged(this);
}

void TSkinImage::setShownText(const std::string& text)
{
    if (hasShownText_ && text == shownText_)
        return;
    shownText_ = text;
    hasShownText_ = true;
    NotifyAccessibleNameChanged(this);
}

bool TSkinImage::event(QEvent* event)
{
    return ShowPlainToolTip(this, event) || QWidget::event(event);
}

void TSkinImage::paintEvent(QPaintEvent*)
{
    if (shown_.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, shown_);
}

void TSkinImage::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit mousePressed(event);
}

} // namespace pelko
