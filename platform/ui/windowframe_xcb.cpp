// Window frames on an X display: the borders the window manager announces (_NET_FRAME_EXTENTS)
// around where the window stands on its root window.
#include "windowframe_xcb.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeReply
{
    void operator()(void* reply) const { std::free(reply); }
};
template <class T> using Reply = std::unique_ptr<T, FreeReply>;

xcb_connection_t* connection()
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atomNamed(xcb_connection_t* c, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_atom_t frameExtentsAtom(xcb_connection_t* c)
{
    static const xcb_atom_t atom = atomNamed(c, "_NET_FRAME_EXTENTS");
    return atom;
}

} // namespace

bool onX11()
{
    return connection() != nullptr;
}

bool x11WindowManagerRuns()
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    // A window manager that follows the desktop conventions names its check window on the root.
    static const xcb_atom_t check = atomNamed(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
    return reply && reply->type == XCB_ATOM_WINDOW &&
           xcb_get_property_value_length(reply.get()) == 4;
}

std::optional<DrawnFrame> x11DrawnFrame(const QWidget* window)
{
    xcb_connection_t* c = connection();
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    if (!c || id == 0)
        return std::nullopt;
    const auto extents = xcb_get_property(c, 0, id, frameExtentsAtom(c), XCB_ATOM_CARDINAL, 0, 4);
    const auto attributes = xcb_get_window_attributes(c, id);
    const auto geometry = xcb_get_geometry(c, id);
    const Reply<xcb_get_property_reply_t> borders(xcb_get_property_reply(c, extents, nullptr));
    const Reply<xcb_get_window_attributes_reply_t> state(
        xcb_get_window_attributes_reply(c, attributes, nullptr));
    const Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(c, geometry, nullptr));
    if (!state || state->map_state != XCB_MAP_STATE_VIEWABLE || !size)
        return std::nullopt;
    QMargins margins;
    if (borders && borders->type == XCB_ATOM_CARDINAL && borders->format == 32 &&
        xcb_get_property_value_length(borders.get()) == 16) {
        const auto* value = static_cast<const quint32*>(xcb_get_property_value(borders.get()));
        // Left, right, top, bottom.
        margins = QMargins(int(value[0]), int(value[2]), int(value[1]), int(value[3]));
    } else if (!window->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        return std::nullopt; // not framed yet
    }
    const Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, size->root, 0, 0), nullptr));
    if (!at)
        return std::nullopt;
    // The display counts device pixels; the program's windows, device-independent ones.
    const qreal ratio = window->devicePixelRatioF();
    const auto scaled = [ratio](int pixels) { return qRound(pixels / ratio); };
    const QRect inside(scaled(at->dst_x), scaled(at->dst_y), scaled(size->width),
                       scaled(size->height));
    margins = QMargins(scaled(margins.left()), scaled(margins.top()), scaled(margins.right()),
                       scaled(margins.bottom()));
    return DrawnFrame{inside.marginsAdded(margins), margins};
}
