#pragma once

#include "Tolvi/platform/hotkeys/ShortcutAccess.h"
#include "Tolvi/platform/wayland/SessionKind.h"

#include <QString>

#include <functional>
#include <optional>

namespace tolvi {

class GlobalShortcutsPortal;
class HotKeyBackend;
class Pasteboard;
class PasteDesktop;
class Workspace;

// Everything Tolvi asks of the desktop session it runs in, put together once: the clipboard,
// the app in front, pasting, the hot keys and the way the window shortcuts arrive. The program
// asks for one (LinuxSessionPlatform) and builds on its parts; tests use FakeSessionPlatform.
class SessionPlatform {
public:
    virtual ~SessionPlatform();

    virtual SessionKind session() const = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual Workspace& workspace() = 0;
    virtual PasteDesktop& pasteDesktop() = 0;
    virtual HotKeyBackend& hotKeys() = 0;
    // The desktop's global shortcuts service, where the session may hold the chords there; null
    // where Tolvi's own key grabs do.
    virtual GlobalShortcutsPortal* shortcutsPortal() = 0;
    // How the window shortcuts reach Tolvi now (the portal may bind them later).
    virtual ShortcutAccess::Route shortcutRoute() const = 0;
    // Keystrokes go through a Wayland compositor for Wayland windows (Settings says so).
    virtual bool typesThroughCompositor() const = 0;
    // Said in Settings when some copies cannot reach Tolvi in this session; empty otherwise.
    virtual QString captureScopeNote() const = 0;

    // Handlers called in the main thread: a paste target that comes to the front (an X11
    // program's process, or a listed Wayland window as PasteDesktop names it), and any change
    // of the window in front.
    struct ActivationHandlers {
        std::function<void(qint64 target)> targetActivated;
        std::function<void()> frontWindowChanged;
    };
    virtual void setActivationHandlers(ActivationHandlers handlers) = 0;

    // Stops whatever reports from threads of its own; the handlers are never called afterwards.
    virtual void shutDown() = 0;
};

} // namespace tolvi
