#include "viewer/SaveIcon.h"

#include <QPainter>
#include <QPixmap>

namespace pelko {

QIcon SaveAttachmentIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Body with a cut corner.
    const QPoint body[] = {{1, 1}, {13, 1}, {15, 3}, {15, 15}, {1, 15}};
    p.setPen(QColor(20, 40, 80));
    p.setBrush(QColor(50, 90, 160));
    p.drawPolygon(body, 5);
    // Metal shutter at the top, label at the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(4, 2, 7, 4);
    p.setBrush(QColor(40, 60, 100));
    p.drawRect(8, 3, 2, 2);
    p.setBrush(QColor(245, 245, 240));
    p.drawRect(3, 9, 10, 5);
    p.setPen(QColor(150, 150, 160));
    p.drawLine(4, 11, 11, 11);
    p.end();
    return QIcon(pm);
}

} // namespace pelko
