#include "configdialog/PanelIcons.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelko {

namespace {

// Transparent canvas; the image button honours the alpha channel, so the
// antialiased edges blend with whatever lies behind the button.
QImage canvas(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void smooth(QPainter& p) { p.setRenderHint(QPainter::Antialiasing, true); }

} // namespace

QImage OptionsIcon()
{
    // A ticked box with two slider lines: "settings".
    QImage img = canvas(16);
    QPainter p(&img);
    smooth(p);
    p.setPen(QPen(QColor(40, 60, 110), 1.2));
    p.setBrush(QColor(250, 250, 255));
    p.drawRoundedRect(QRectF(1.5, 1.5, 9, 9), 1.5, 1.5);
    p.setPen(QPen(QColor(30, 140, 60), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(3.5, 6.0);
    tick.lineTo(5.5, 8.2);
    tick.lineTo(10.5, 2.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.setPen(QPen(QColor(40, 60, 110), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2, 13.5), QPointF(14, 13.5));
    p.setBrush(QColor(230, 150, 40));
    p.setPen(QPen(QColor(120, 70, 10), 1.0));
    p.drawEllipse(QPointF(11.5, 13.5), 2.2, 2.2);
    return img;
}

QImage AccountsIcon()
{
    // An envelope with a little person in front: "mailboxes".
    QImage img = canvas(16);
    QPainter p(&img);
    smooth(p);
    p.setPen(QPen(QColor(90, 70, 30), 1.0));
    p.setBrush(QColor(255, 236, 170));
    p.drawRect(QRectF(0.5, 2.5, 12, 8));
    p.drawLine(QPointF(0.5, 2.5), QPointF(6.5, 7.0));
    p.drawLine(QPointF(12.5, 2.5), QPointF(6.5, 7.0));
    p.setPen(QPen(QColor(20, 50, 120), 1.0));
    p.setBrush(QColor(70, 120, 210));
    p.drawEllipse(QPointF(11.5, 8.5), 2.2, 2.2);
    QPainterPath body;
    body.moveTo(7.5, 15.5);
    body.cubicTo(7.5, 11.5, 15.5, 11.5, 15.5, 15.5);
    body.closeSubpath();
    p.drawPath(body);
    return img;
}

QImage SkinInfoIcon()
{
    // A painter's palette: "skins".
    QImage img = canvas(16);
    QPainter p(&img);
    smooth(p);
    QPainterPath board;
    board.addEllipse(QRectF(0.5, 1.5, 15, 13));
    QPainterPath hole;
    hole.addEllipse(QRectF(9.0, 8.5, 3.5, 3.0));
    p.setPen(QPen(QColor(110, 75, 35), 1.0));
    p.setBrush(QColor(225, 185, 125));
    p.drawPath(board.subtracted(hole));
    const QColor dabs[] = {QColor(220, 40, 40), QColor(40, 150, 60), QColor(40, 80, 220),
                           QColor(240, 200, 30)};
    const QPointF at[] = {QPointF(4.5, 5.5), QPointF(8.0, 4.3), QPointF(11.5, 5.5), QPointF(4.5, 10.0)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(dabs[i]);
        p.drawEllipse(at[i], 1.7, 1.7);
    }
    return img;
}

QImage CreditsIcon()
{
    // A star: "thanks".
    QImage img = canvas(16);
    QPainter p(&img);
    smooth(p);
    QPainterPath star;
    const double pi = 3.14159265358979;
    for (int i = 0; i < 10; ++i) {
        const double r = (i % 2 == 0) ? 7.5 : 3.2;
        const double a = -pi / 2 + i * pi / 5;
        const QPointF pt(8 + r * std::cos(a), 8.5 + r * std::sin(a));
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0, QColor(255, 230, 90));
    g.setColorAt(1, QColor(235, 150, 20));
    p.setPen(QPen(QColor(150, 90, 10), 1.0));
    p.setBrush(g);
    p.drawPath(star);
    return img;
}

QImage PelkoIcon(int size)
{
    // The program's mark: a blue envelope with a round "new mail" badge.
    QImage img = canvas(size);
    QPainter p(&img);
    smooth(p);
    p.scale(size / 32.0, size / 32.0);
    QLinearGradient g(0, 6, 0, 28);
    g.setColorAt(0, QColor(120, 170, 240));
    g.setColorAt(1, QColor(40, 90, 180));
    p.setPen(QPen(QColor(20, 50, 110), 1.5));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 8, 24, 18), 2.5, 2.5);
    p.setPen(QPen(QColor(230, 240, 255), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4, 10.5), QPointF(14, 18.5), QPointF(24, 10.5)}));
    p.setPen(QPen(QColor(140, 20, 20), 1.2));
    p.setBrush(QColor(230, 50, 40));
    p.drawEllipse(QPointF(25, 8), 5.5, 5.5);
    return img;
}

} // namespace pelko
