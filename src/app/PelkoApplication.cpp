#include "app/PelkoApplication.h"

#include "app/HandlerGuard.h"

#include <QDir>
#include <QPainter>
#include <QPixmap>

#include <cstdlib>
#include <exception>
#include <string>

namespace pelko {

PelkoApplication::PelkoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool PelkoApplication::notify(QObject* receiver, QEvent* event)
{
    if (!platform_)
        return QApplication::notify(receiver, event);
    bool handled = false;
    RunGuarded(*platform_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

std::string ProgramDirectory()
{
    const char* env = std::getenv("PELKO_DIR");
    QString dir = env && *env ? QDir(QString::fromLocal8Bit(env)).absolutePath()
                              : QCoreApplication::applicationDirPath();
    std::string out = dir.toUtf8().toStdString();
    if (out.empty() || out.back() != '/')
        out += '/';
    return out;
}

QIcon MakeProgramIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal m = size / 8.0;
        const QRectF body(m * 0.5, m * 1.5, size - m, size - m * 3);
        p.setPen(QPen(QColor(20, 40, 90), qMax(1.0, size / 16.0)));
        p.setBrush(QColor(110, 200, 230));
        p.drawRoundedRect(body, m * 0.5, m * 0.5);
        p.drawLine(body.topLeft(), QPointF(body.center().x(), body.center().y() + m * 0.5));
        p.drawLine(body.topRight(), QPointF(body.center().x(), body.center().y() + m * 0.5));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace pelko
