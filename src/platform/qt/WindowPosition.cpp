#include "platform/qt/WindowPosition.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

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

} // namespace pelko
