#pragma once

#include "Tolvi/platform/desktop/FakePasteDesktop.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/session/SessionPlatform.h"

namespace tolvi {

// A session for tests: in-memory parts the test sets, and activations it reports by hand.
class FakeSessionPlatform final : public SessionPlatform {
public:
    SessionKind kind = SessionKind::x11;
    InMemoryPasteboard board;
    FakeWorkspace apps;
    FakePasteDesktop desktop;
    FakeHotKeyBackend keys;
    ShortcutAccess::Route route = ShortcutAccess::Route::keyGrab;
    bool compositorTypes = false;
    QString scopeNote;

    // As the desktop would report it (after shutDown(), nothing is reported).
    void reportActivation(qint64 target);
    void reportFrontWindowChange();
    bool isShutDown() const { return shutDown_; }

    SessionKind session() const override { return kind; }
    Pasteboard& pasteboard() override { return board; }
    Workspace& workspace() override { return apps; }
    PasteDesktop& pasteDesktop() override { return desktop; }
    HotKeyBackend& hotKeys() override { return keys; }
    GlobalShortcutsPortal* shortcutsPortal() override { return nullptr; }
    ShortcutAccess::Route shortcutRoute() const override { return route; }
    bool typesThroughCompositor() const override { return compositorTypes; }
    QString captureScopeNote() const override { return scopeNote; }
    void setActivationHandlers(ActivationHandlers handlers) override { handlers_ = std::move(handlers); }
    void shutDown() override;

private:
    ActivationHandlers handlers_;
    bool shutDown_ = false;
};

} // namespace tolvi
