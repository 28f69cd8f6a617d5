#include "app/ProgramIcon.h"

#include <QPainter>

namespace pelko {

QImage DrawProgramIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 8.0;
    const QRectF body(m * 0.5, m * 1.5, size - m, size - m * 3);
    p.setPen(QPen(QColor(20, 40, 90), qMax(1.0, size / 16.0)));
    p.setBrush(QColor(110, 200, 230));
    p.drawRoundedRect(body, m * 0.5, m * 0.5);
    p.drawLine(body.topLeft(), QPointF(body.center().x(), body.center().y() + m * 0.5));
    p.drawLine(body.topRight(), QPointF(body.center().x(), body.center().y() + m * 0.5));
    p.end();
    return img;
}

} // namespace pelko
