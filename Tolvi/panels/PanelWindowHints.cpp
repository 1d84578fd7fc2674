#include "Tolvi/panels/PanelWindowHints.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tolvi {

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                                         &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

bool PanelWindowHints::apply(QWidget* window)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const auto id = xcb_window_t(window->winId());

    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t desktop = internAtom(connection, "_NET_WM_DESKTOP");
    std::vector<xcb_atom_t> wanted{internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                   internAtom(connection, "_NET_WM_STATE_SKIP_PAGER"),
                                   internAtom(connection, "_NET_WM_STATE_STICKY")};
    if (state == XCB_ATOM_NONE || desktop == XCB_ATOM_NONE)
        return false;

    // Keep whatever states are already asked for (Qt adds its own when it maps).
    std::vector<xcb_atom_t> states;
    const auto cookie = xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(xcb_get_property_reply(connection, cookie, nullptr),
                                                                          &std::free);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* existing = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        states.assign(existing, existing + xcb_get_property_value_length(reply.get()) / sizeof(xcb_atom_t));
    }
    for (xcb_atom_t atom : wanted) {
        if (atom != XCB_ATOM_NONE && std::find(states.begin(), states.end(), atom) == states.end())
            states.push_back(atom);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32, uint32_t(states.size()),
                        states.data());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
    return true;
}

} // namespace tolvi
