#include "Tolvi/panels/PanelStartupActivation.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tolvi {

namespace {

QByteArray& pending()
{
    static QByteArray token;
    return token;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                                         &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Ends the launcher's startup notification: a "remove" message to the root window, sent in the
// 20-byte pieces of the startup-notification protocol.
void sendRemove(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, const QByteArray& token)
{
    QByteArray message = "remove: ID=\"" + token + "\"";
    message.append('\0');
    const xcb_atom_t begin = internAtom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = internAtom(connection, "_NET_STARTUP_INFO");
    for (qsizetype offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = offset == 0 ? begin : more;
        const qsizetype length = std::min<qsizetype>(20, message.size() - offset);
        std::memcpy(event.data.data8, message.constData() + offset, size_t(length));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
}

} // namespace

void PanelStartupActivation::setPendingToken(const QByteArray& token)
{
    pending() = token;
}

QByteArray PanelStartupActivation::pendingToken()
{
    return pending();
}

quint32 PanelStartupActivation::launchTime(const QByteArray& token)
{
    const qsizetype at = token.lastIndexOf("_TIME");
    if (at < 0)
        return 0;
    bool ok = false;
    const qulonglong time = token.mid(at + 5).toULongLong(&ok);
    return ok && time <= 0xffffffffULL ? quint32(time) : 0;
}

void PanelStartupActivation::applyPending(QWidget* window)
{
    const QByteArray token = pending();
    if (token.isEmpty() || !window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    pending().clear();
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto id = xcb_window_t(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, internAtom(connection, "_NET_STARTUP_ID"),
                        internAtom(connection, "UTF8_STRING"), 8, uint32_t(token.size()), token.constData());
    if (const quint32 time = launchTime(token)) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, internAtom(connection, "_NET_WM_USER_TIME"),
                            XCB_ATOM_CARDINAL, 32, 1, &time);
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    sendRemove(connection, root, id, token);
    xcb_flush(connection);
}

} // namespace tolvi
