#pragma once

#include "Tolvi/platform/session/SessionPlan.h"
#include "Tolvi/platform/session/SessionPlatform.h"

#include <QObject>

#include <memory>

namespace tolvi {

class KeyValueSettings;

// The session Tolvi runs in, as the real desktop offers it. X11: the X server's clipboard, its
// windows, XTest and key grabs. Wayland: Tolvi's windows stay X11 clients of XWayland; copies
// are read from the seat through data control and from XWayland beside it, the app in front and
// the keystrokes come from the compositor where it offers them (SessionPlan) and from XWayland
// for X11 windows, and the window shortcuts from the desktop's portal or bound commands.
//
// Made on the main thread after the QApplication, before any window; its parts live as long as it.
class LinuxSessionPlatform final : public QObject, public SessionPlatform {
    Q_OBJECT
public:
    // Reads the session's facts (connecting to the compositor where the environment names one)
    // and builds what the plan asks for, falling back where the compositor refuses a part.
    // The settings keep the RemoteDesktop portal's restore token.
    static std::unique_ptr<LinuxSessionPlatform> create(KeyValueSettings& settings);
    ~LinuxSessionPlatform() override;

    const SessionPlan& plan() const { return plan_; }

    SessionKind session() const override { return plan_.session; }
    Pasteboard& pasteboard() override;
    Workspace& workspace() override;
    PasteDesktop& pasteDesktop() override;
    HotKeyBackend& hotKeys() override;
    GlobalShortcutsPortal* shortcutsPortal() override;
    ShortcutAccess::Route shortcutRoute() const override;
    bool typesThroughCompositor() const override;
    QString captureScopeNote() const override;
    void setActivationHandlers(ActivationHandlers handlers) override;
    void shutDown() override;

private:
    LinuxSessionPlatform();
    struct Parts;
    std::unique_ptr<Parts> parts_;
    SessionPlan plan_;
};

} // namespace tolvi
