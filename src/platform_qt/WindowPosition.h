#pragma once
// Where a top-level window really is on the screen.
#include <QPoint>
#include <QRect>

#include <vector>

class QWidget;

namespace pelko {

// The window's client origin in root coordinates, asked of the X server
// itself: a window manager that reparents the window may leave Qt's own idea
// of the position behind (a move it reports relative to its frame reads as
// 0,0). Elsewhere, or before the window is shown, what Qt knows.
QPoint ScreenPosition(const QWidget* window);

// Where a window at `window` goes so that the user can reach it: where it is
// when at least half of it lies on the screens' usable areas; otherwise onto
// the area nearest to it, as a whole where it fits (a saved place may be on
// a monitor that is no longer there).
QPoint PlaceOnScreens(const QRect& window, const std::vector<QRect>& areas);

// The same with the usable areas of the screens there are now.
QPoint PlaceOnScreens(const QRect& window);

} // namespace pelko
