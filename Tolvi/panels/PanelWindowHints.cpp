#include "Tolvi/panels/PanelWindowHints.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
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

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window)
{
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr), &std::free);
    return geometry ? geometry->root : xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// A request to the window manager about a managed window (EWMH client message).
void sendToWindowManager(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                         std::array<uint32_t, 5> data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

bool PanelWindowHints::requestOnMappedWindow(QWidget* window)
{
    xcb_connection_t* connection = window ? x11Connection() : nullptr;
    if (!connection)
        return false;
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t desktop = internAtom(connection, "_NET_WM_DESKTOP");
    if (state == XCB_ATOM_NONE || desktop == XCB_ATOM_NONE)
        return false;
    const xcb_window_t root = rootOf(connection, id);
    constexpr uint32_t add = 1;
    constexpr uint32_t fromApplication = 1;
    sendToWindowManager(connection, root, id, state,
                        {add, internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                         internAtom(connection, "_NET_WM_STATE_SKIP_PAGER"), fromApplication, 0});
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        sendToWindowManager(connection, root, id, state,
                            {add, internAtom(connection, "_NET_WM_STATE_ABOVE"), 0, fromApplication, 0});
    sendToWindowManager(connection, root, id, desktop, {0xFFFFFFFF, fromApplication, 0, 0, 0});
    xcb_flush(connection);
    return true;
}

bool PanelWindowHints::isSettled(QWidget* window)
{
    xcb_connection_t* connection = window ? x11Connection() : nullptr;
    if (!connection)
        return true;
    const auto id = xcb_window_t(window->winId());
    auto read = [&](const char* name, xcb_atom_t type) {
        std::vector<uint32_t> values;
        const xcb_atom_t property = internAtom(connection, name);
        if (property == XCB_ATOM_NONE)
            return values;
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(connection, xcb_get_property(connection, 0, id, property, type, 0, 1024), nullptr),
            &std::free);
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            values.assign(data, data + xcb_get_property_value_length(reply.get()) / sizeof(uint32_t));
        }
        return values;
    };
    const std::vector<uint32_t> states = read("_NET_WM_STATE", XCB_ATOM_ATOM);
    auto has = [&](const char* name) {
        return std::find(states.begin(), states.end(), internAtom(connection, name)) != states.end();
    };
    return has("_NET_WM_STATE_SKIP_TASKBAR") && has("_NET_WM_STATE_SKIP_PAGER")
        && read("_NET_WM_DESKTOP", XCB_ATOM_CARDINAL) == std::vector<uint32_t>{0xFFFFFFFF};
}

bool PanelWindowHints::apply(QWidget* window)
{
    xcb_connection_t* connection = window ? x11Connection() : nullptr;
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
