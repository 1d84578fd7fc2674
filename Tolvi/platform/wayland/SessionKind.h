#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tolvi {

class WaylandConnection;

// What kind of desktop session Tolvi runs in, which decides how it captures copies and how its
// windows are opened from the keyboard. Decided in one place, sessionKind().
enum class SessionKind {
    // An X11 session: the CLIPBOARD selection and key grabs of the X server.
    x11,
    // A Wayland session whose compositor offers data control: copies are read from the seat's
    // clipboard selection through it; the windows stay X11 clients of XWayland.
    waylandWithDataControl,
    // A Wayland session without data control (GNOME's Mutter): copies reach Tolvi only through
    // XWayland, that is while an X11 window has the focus.
    waylandWithoutDataControl,
};

// Which data-control protocol a compositor offers; ext is preferred when both are there.
enum class DataControlProtocol { none, ext, wlr };

inline const QByteArray extDataControlManager = QByteArrayLiteral("ext_data_control_manager_v1");
inline const QByteArray wlrDataControlManager = QByteArrayLiteral("zwlr_data_control_manager_v1");

// The facts the decision rests on.
struct SessionFacts {
    QByteArray sessionType;      // XDG_SESSION_TYPE
    QByteArray waylandDisplay;   // WAYLAND_DISPLAY
    bool compositorReachable = false;
    QList<QByteArray> globals;   // interfaces the compositor offers
};

DataControlProtocol preferredDataControl(const QList<QByteArray>& globals);
SessionKind decideSessionKind(const SessionFacts& facts);

// The facts of this process's environment. A Wayland session is one with WAYLAND_DISPLAY set, or
// one that XDG_SESSION_TYPE calls "wayland"; only then is the compositor asked for its globals,
// through the given connection (null: none could be made).
SessionFacts currentSessionFacts(const WaylandConnection* connection);
// Whether this environment names a Wayland compositor to connect to at all.
bool environmentNamesWayland();

// One line for settings and diagnostics, e.g. "Wayland (data control)".
QString sessionKindTitle(SessionKind kind);

} // namespace tolvi
