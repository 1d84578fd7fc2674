#include "Tolvi/platform/wayland/SessionKind.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include <QtGlobal>

namespace tolvi {

DataControlProtocol preferredDataControl(const QList<QByteArray>& globals)
{
    if (globals.contains(extDataControlManager))
        return DataControlProtocol::ext;
    if (globals.contains(wlrDataControlManager))
        return DataControlProtocol::wlr;
    return DataControlProtocol::none;
}

SessionKind decideSessionKind(const SessionFacts& facts)
{
    const bool namesWayland =
        !facts.waylandDisplay.isEmpty() || facts.sessionType.compare("wayland", Qt::CaseInsensitive) == 0;
    if (!namesWayland)
        return SessionKind::x11;
    if (!facts.compositorReachable) {
        // A stale WAYLAND_DISPLAY in an X11 session (left over in an environment file, say) with no
        // compositor behind it: the X server is all there is.
        if (facts.sessionType.compare("x11", Qt::CaseInsensitive) == 0)
            return SessionKind::x11;
        return SessionKind::waylandWithoutDataControl;
    }
    return preferredDataControl(facts.globals) == DataControlProtocol::none ? SessionKind::waylandWithoutDataControl
                                                                            : SessionKind::waylandWithDataControl;
}

bool environmentNamesWayland()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

SessionFacts currentSessionFacts(const WaylandConnection* connection)
{
    SessionFacts facts;
    facts.sessionType = qgetenv("XDG_SESSION_TYPE");
    facts.waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    facts.compositorReachable = connection && !connection->isBroken();
    if (facts.compositorReachable) {
        for (const WaylandGlobal& global : connection->globals())
            facts.globals.append(global.interface);
    }
    return facts;
}

QString sessionKindTitle(SessionKind kind)
{
    switch (kind) {
    case SessionKind::x11:
        return QStringLiteral("X11");
    case SessionKind::waylandWithDataControl:
        return QStringLiteral("Wayland (data control)");
    case SessionKind::waylandWithoutDataControl:
        return QStringLiteral("Wayland without data control (copies reach Tolvi through XWayland)");
    }
    return {};
}

} // namespace tolvi
