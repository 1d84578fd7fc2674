#include "Tolvi/design/CompositorProbe.h"

#include <QGuiApplication>
#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace tolvi {

namespace {

bool x11CompositorRunning()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;

    // The selection is per screen; Qt uses the default screen of the connection.
    int screenNumber = 0;
    const QByteArray display = qgetenv("DISPLAY");
    if (const int dot = display.lastIndexOf('.'); dot > display.lastIndexOf(':'))
        screenNumber = display.mid(dot + 1).toInt();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);

    const xcb_intern_atom_cookie_t atomCookie = xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;

    const xcb_get_selection_owner_cookie_t ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, ownerCookie, nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace

bool CompositorProbe::translucencyAvailable()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return x11CompositorRunning();
    return true;
}

} // namespace tolvi
