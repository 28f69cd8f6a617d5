#include "platform_qt/WindowPosition.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <xcb/xcb.h>

namespace pelko {

QPoint ScreenPosition(const QWidget* window)
{
    const QPoint known = window->pos();
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window->isVisible() || !window->windowHandle())
        return known;
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = c ? xcb_setup_roots_iterator(xcb_get_setup(c)).data : nullptr;
    if (!screen)
        return known;
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_translate_coordinates_reply_t* reply =
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, screen->root, 0, 0), nullptr);
    if (!reply)
        return known;
    const qreal ratio = window->devicePixelRatioF();
    const QPoint at(qRound(reply->dst_x / ratio), qRound(reply->dst_y / ratio));
    std::free(reply);
    return at;
}

namespace {

int64_t areaOf(const QRegion& r)
{
    int64_t sum = 0;
    for (const QRect& part : r)
        sum += int64_t(part.width()) * part.height();
    return sum;
}

// How far p lies from r (0 inside), squared.
int64_t distanceSquared(const QPoint& p, const QRect& r)
{
    const int64_t dx = p.x() < r.left() ? r.left() - p.x() : p.x() > r.right() ? p.x() - r.right() : 0;
    const int64_t dy = p.y() < r.top() ? r.top() - p.y() : p.y() > r.bottom() ? p.y() - r.bottom() : 0;
    return dx * dx + dy * dy;
}

} // namespace

QPoint PlaceOnScreens(const QRect& window, const std::vector<QRect>& areas)
{
    if (window.isEmpty() || areas.empty())
        return window.topLeft();
    QRegion usable;
    for (const QRect& a : areas)
        usable += a;
    if (2 * areaOf(usable & QRegion(window)) >= int64_t(window.width()) * window.height())
        return window.topLeft();
    const QPoint centre = window.center();
    const QRect& to = *std::min_element(areas.begin(), areas.end(), [&](const QRect& a, const QRect& b) {
        return distanceSquared(centre, a) < distanceSquared(centre, b);
    });
    // Where the window is wider or taller than the area, its top left corner stays on it.
    const int x = std::max(to.left(), std::min(window.left(), to.right() + 1 - window.width()));
    const int y = std::max(to.top(), std::min(window.top(), to.bottom() + 1 - window.height()));
    return QPoint(x, y);
}

QPoint PlaceOnScreens(const QRect& window)
{
    std::vector<QRect> areas;
    for (const QScreen* s : QGuiApplication::screens())
        areas.push_back(s->availableGeometry());
    return PlaceOnScreens(window, areas);
}

} // namespace pelko
