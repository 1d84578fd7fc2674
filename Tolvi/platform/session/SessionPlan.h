#pragma once

#include "Tolvi/platform/wayland/SessionKind.h"

namespace tolvi {

// What Tolvi uses in a session, decided from the session's facts alone: where copies are read,
// how the app in front and the windows are known, how keystrokes are typed and how the window
// shortcuts arrive. What the compositor then refuses to give falls back to the next choice
// (see LinuxSessionPlatform).
struct SessionPlan {
    enum class Clipboard {
        // XWayland's or the X server's CLIPBOARD alone.
        x11,
        // The seat's clipboard through data control, and XWayland's beside it (BridgedPasteboard).
        seatAndXWayland,
    };
    enum class WindowList {
        // XWayland's or the X server's windows only.
        x11,
        // wlroots foreign toplevels (sway).
        foreignToplevels,
        // KDE Plasma's window management.
        plasmaWindows,
    };
    enum class Keyboard {
        // XTest only (X11, and X11 windows everywhere).
        xtest,
        // wlroots virtual keyboard (sway).
        virtualKeyboard,
        // KWin's fake input.
        fakeInput,
        // The RemoteDesktop portal, with the user's consent (GNOME).
        remoteDesktopPortal,
    };
    enum class Shortcuts {
        // Tolvi's own X11 key grabs.
        keyGrab,
        // The global shortcuts portal where the desktop binds them, else commands bound by hand;
        // the key grabs stay for X11 windows.
        desktop,
    };

    SessionKind session = SessionKind::x11;
    Clipboard clipboard = Clipboard::x11;
    WindowList windows = WindowList::x11;
    Keyboard keyboard = Keyboard::xtest;
    Shortcuts shortcuts = Shortcuts::keyGrab;

    friend bool operator==(const SessionPlan&, const SessionPlan&) = default;
};

inline const QByteArray foreignToplevelManager = QByteArrayLiteral("zwlr_foreign_toplevel_manager_v1");
inline const QByteArray plasmaWindowManagement = QByteArrayLiteral("org_kde_plasma_window_management");
inline const QByteArray virtualKeyboardManager = QByteArrayLiteral("zwp_virtual_keyboard_manager_v1");
inline const QByteArray kwinFakeInput = QByteArrayLiteral("org_kde_kwin_fake_input");

SessionPlan planSession(const SessionFacts& facts);

} // namespace tolvi
