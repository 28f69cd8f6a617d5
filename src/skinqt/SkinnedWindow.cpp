#include "skinqt/SkinnedWindow.h"

#include "platform_qt/WindowPosition.h"
#include "skinqt/RegionAdapter.h"

#include <QImage>
#include <QMouseEvent>

namespace pelko {

SkinnedWindow::SkinnedWindow(QWidget* parent, Qt::WindowFlags flags, DragRule rule)
    : QWidget(parent, flags), rule_(rule)
{
    setWindowTitle(QStringLiteral("Pelko"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

// ---- dragging ----

bool SkinnedWindow::PlainLeft(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) const
{
    return buttons == Qt::LeftButton && (mods & rule_.blocking) == 0;
}

void SkinnedWindow::Grip(const QPoint& screenPos)
{
    DragPoint_ = screenPos;
    // Where the window really is: Qt's idea may lag behind the window manager.
    dragWindowPos_ = ScreenPosition(this);
}

void SkinnedWindow::BackgroundPress(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, bool doubleClick,
                                    const QPoint& screenPos)
{
    dragActive_ = PlainLeft(buttons, mods) && (rule_.doubleClickDrags || !doubleClick);
    if (dragActive_)
        Grip(screenPos);
}

void SkinnedWindow::FormMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, const QPoint& screenPos)
{
    if (!PlainLeft(buttons, mods))
        return;
    if (!dragActive_)
        dragWindowPos_ = ScreenPosition(this);
    dragWindowPos_ += screenPos - DragPoint_;
    move(dragWindowPos_);
    DragPoint_ = screenPos;
}

void SkinnedWindow::mousePressEvent(QMouseEvent* e)
{
    // Only presses on the background reach here (a double click's too, by
    // way of QWidget::mouseDoubleClickEvent).
    BackgroundPress(e->buttons(), e->modifiers(), e->type() == QEvent::MouseButtonDblClick,
                    e->globalPosition().toPoint());
    QWidget::mousePressEvent(e);
}

void SkinnedWindow::mouseMoveEvent(QMouseEvent* e)
{
    if (dragActive_)
        FormMouseMove(e->buttons(), e->modifiers(), e->globalPosition().toPoint());
    QWidget::mouseMoveEvent(e);
}

void SkinnedWindow::mouseReleaseEvent(QMouseEvent* e)
{
    dragActive_ = false;
    QWidget::mouseReleaseEvent(e);
}

// ---- the background ----

bool SkinnedWindow::LoadBackground(const std::string& file)
{
    QImage img;
    if (!img.load(QString::fromUtf8(file.data(), int(file.size()))) || img.isNull())
        return false;
    ++backgroundLoads_;
    resize(img.size());
    ApplyWindowShape(this, img); // an outline that cannot be set leaves the window whole
    background_ = QPixmap::fromImage(img);
    backgroundFile_ = file;
    backgroundStale_ = false;
    return true;
}

void SkinnedWindow::DropBackground(const std::string& file)
{
    background_ = QPixmap();
    clearMask();
    backgroundFile_ = file;
    backgroundStale_ = false;
}

} // namespace pelko
