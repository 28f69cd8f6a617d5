#pragma once
// Where a top-level window really is on the screen.
#include <QPoint>

class QWidget;

namespace pelko {

// The window's client origin in root coordinates, asked of the X server
// itself: a window manager that reparents the window may leave Qt's own idea
// of the position behind (a move it reports relative to its frame reads as
// 0,0). Elsewhere, or before the window is shown, what Qt knows.
QPoint ScreenPosition(const QWidget* window);

} // namespace pelko
