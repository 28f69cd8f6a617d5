#include "configdialog/LinkLabel.h"

#include <QMouseEvent>

namespace pelko {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    // Texts come from skin files and are shown as they are, never as markup.
    setTextFormat(Qt::PlainText);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    setPalette(pal);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}

} // namespace pelko
