#include "Tolvi/platform/session/LinuxSessionPlatform.h"

#include "Tolvi/platform/hotkeys/GlobalShortcutsPortal.h"
#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"
#include "Tolvi/platform/pasteboard/BridgedPasteboard.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/settings/KeyValueSettings.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/FakeInputKeyboard.h"
#include "Tolvi/platform/wayland/ForeignToplevelWindows.h"
#include "Tolvi/platform/wayland/PlasmaToplevelWindows.h"
#include "Tolvi/platform/wayland/PortalKeyboard.h"
#include "Tolvi/platform/wayland/VirtualKeyboard.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"
#include "Tolvi/platform/wayland/WaylandDesktop.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <QDBusConnection>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcSession, "tolvi.session")

const QString remoteDesktopTokenKey = QStringLiteral("remoteDesktopRestoreToken");

} // namespace

// In the order they are made; destroyed the other way round.
struct LinuxSessionPlatform::Parts {
    X11Desktop x11;
    X11ActivationWatcher activationWatcher;
    std::unique_ptr<WaylandConnection> wayland;
    std::unique_ptr<DataControlClipboard> dataControl;
    std::unique_ptr<ToplevelWindows> toplevels;
    std::unique_ptr<WaylandKeyboard> keyboard;
    std::unique_ptr<WaylandDesktop> waylandDesktop;
    // What a copy marked secret offers is never read, not even into memory.
    SystemPasteboard x11Pasteboard{std::chrono::milliseconds(750), &ClipboardCapturePolicy::shouldCapture};
    std::unique_ptr<BridgedPasteboard> bridged;
    X11HotKeyBackend hotKeys;
    std::unique_ptr<GlobalShortcutsPortal> shortcutsPortal;
    ActivationHandlers handlers;
};

LinuxSessionPlatform::LinuxSessionPlatform() : parts_(std::make_unique<Parts>()) {}

LinuxSessionPlatform::~LinuxSessionPlatform()
{
    shutDown();
}

std::unique_ptr<LinuxSessionPlatform> LinuxSessionPlatform::create(KeyValueSettings& settings)
{
    std::unique_ptr<LinuxSessionPlatform> platform(new LinuxSessionPlatform);
    Parts& parts = *platform->parts_;
    if (environmentNamesWayland())
        parts.wayland = WaylandConnection::connect();
    SessionPlan plan = planSession(currentSessionFacts(parts.wayland.get()));

    if (plan.clipboard == SessionPlan::Clipboard::seatAndXWayland) {
        parts.dataControl = DataControlClipboard::create(*parts.wayland);
        // No seat to watch: copies can reach us only through XWayland after all.
        if (!parts.dataControl) {
            plan.session = SessionKind::waylandWithoutDataControl;
            plan.clipboard = SessionPlan::Clipboard::x11;
        }
    }
    if (parts.wayland && plan.session != SessionKind::x11) {
        if (plan.windows == SessionPlan::WindowList::foreignToplevels)
            parts.toplevels = ForeignToplevelWindows::create(*parts.wayland);
        if (!parts.toplevels && plan.windows != SessionPlan::WindowList::x11)
            parts.toplevels = PlasmaToplevelWindows::create(*parts.wayland);
        if (!parts.toplevels)
            plan.windows = SessionPlan::WindowList::x11;
        if (plan.keyboard == SessionPlan::Keyboard::virtualKeyboard)
            parts.keyboard = VirtualKeyboard::create(*parts.wayland);
        if (!parts.keyboard && plan.keyboard != SessionPlan::Keyboard::remoteDesktopPortal) {
            parts.keyboard = FakeInputKeyboard::create(*parts.wayland);
            plan.keyboard = parts.keyboard ? SessionPlan::Keyboard::fakeInput : SessionPlan::Keyboard::remoteDesktopPortal;
        }
        if (!parts.keyboard) {
            // GNOME: the remote-desktop portal, asked once; its restore token spares the next start.
            auto portal = std::make_unique<PortalKeyboard>(
                QDBusConnection::sessionBus(),
                PortalKeyboard::TokenStore{
                    [&settings] { return settings.value(remoteDesktopTokenKey).toString(); },
                    [&settings](const QString& token) { settings.setValue(remoteDesktopTokenKey, token); }});
            portal->restore();
            parts.keyboard = std::move(portal);
            plan.keyboard = SessionPlan::Keyboard::remoteDesktopPortal;
        }
        X11Desktop& x11 = parts.x11;
        parts.waylandDesktop = std::make_unique<WaylandDesktop>(WaylandDesktop::Parts{
            x11, x11, [&x11] { return x11.hasXTest(); }, parts.toplevels.get(), parts.keyboard.get(),
            [&x11] { return x11.applicationWindows(); }});
        qCInfo(lcSession).noquote() << "Windows listed by the compositor:" << (parts.toplevels ? "yes" : "no")
                                    << "- keyboard of ours:" << (parts.keyboard ? "yes" : "no");
    }
    if (parts.wayland) {
        parts.wayland->startDispatching();
        // What the compositor announces at once (the clipboard's contents, the windows open) is
        // taken in before anything looks: the copy on the clipboard at start is no new copy.
        parts.wayland->roundtrip();
    }
    if (parts.dataControl) {
        // X11 programs' copies are watched beside the seat: the compositor carries them over
        // only while an X11 window has the focus.
        SystemPasteboard& x11Pasteboard = parts.x11Pasteboard;
        parts.bridged = std::make_unique<BridgedPasteboard>(BridgedPasteboard::Sides{
            parts.dataControl->pasteboard(), x11Pasteboard,
            [&x11Pasteboard] { return x11Pasteboard.copyCameFromWindowManager(); }});
    }
    if (plan.shortcuts == SessionPlan::Shortcuts::desktop) {
        // X11 key grabs see keys only while an X11 window has the focus: the desktop's global
        // shortcuts service, where there is one, holds the chords.
        parts.shortcutsPortal = std::make_unique<GlobalShortcutsPortal>();
        X11HotKeyBackend& hotKeys = parts.hotKeys;
        QObject::connect(parts.shortcutsPortal.get(), &GlobalShortcutsPortal::stateChanged, platform.get(),
                         [&hotKeys](GlobalShortcutsPortal::State state) {
                             hotKeys.setPressesHandedElsewhere(state == GlobalShortcutsPortal::State::bound);
                         });
    }

    LinuxSessionPlatform* self = platform.get();
    QObject::connect(&parts.activationWatcher, &X11ActivationWatcher::applicationActivated, self, [self](qint64 pid) {
        if (self->parts_->handlers.targetActivated)
            self->parts_->handlers.targetActivated(pid);
    });
    QObject::connect(&parts.activationWatcher, &X11ActivationWatcher::frontWindowChanged, self, [self] {
        if (self->parts_->handlers.frontWindowChanged)
            self->parts_->handlers.frontWindowChanged();
    });
    if (parts.toplevels) {
        // A Wayland window that takes the focus, reported from the dispatch thread; X11 windows
        // are reported by the watcher above. Our own windows are no paste target.
        QPointer<LinuxSessionPlatform> guarded(self);
        parts.toplevels->setActivationHandler([guarded](quint64 id) {
            QMetaObject::invokeMethod(guarded, [guarded, id] {
                if (!guarded)
                    return;
                Parts& parts = *guarded->parts_;
                const qint64 target = WaylandDesktop::targetForWindow(id);
                if (parts.handlers.targetActivated && parts.waylandDesktop->frontmostPID() == target)
                    parts.handlers.targetActivated(target);
                if (parts.handlers.frontWindowChanged)
                    parts.handlers.frontWindowChanged();
            });
        });
    }
    platform->plan_ = plan;
    qCInfo(lcSession).noquote() << "Session:" << sessionKindTitle(plan.session);
    return platform;
}

Pasteboard& LinuxSessionPlatform::pasteboard()
{
    if (parts_->bridged)
        return *parts_->bridged;
    return parts_->x11Pasteboard;
}

Workspace& LinuxSessionPlatform::workspace()
{
    if (parts_->waylandDesktop)
        return *parts_->waylandDesktop;
    return parts_->x11;
}

PasteDesktop& LinuxSessionPlatform::pasteDesktop()
{
    if (parts_->waylandDesktop)
        return *parts_->waylandDesktop;
    return parts_->x11;
}

HotKeyBackend& LinuxSessionPlatform::hotKeys()
{
    return parts_->hotKeys;
}

GlobalShortcutsPortal* LinuxSessionPlatform::shortcutsPortal()
{
    return parts_->shortcutsPortal.get();
}

ShortcutAccess::Route LinuxSessionPlatform::shortcutRoute() const
{
    if (plan_.shortcuts == SessionPlan::Shortcuts::keyGrab)
        return ShortcutAccess::Route::keyGrab;
    if (parts_->shortcutsPortal && parts_->shortcutsPortal->state() == GlobalShortcutsPortal::State::bound)
        return ShortcutAccess::Route::desktopPortal;
    return ShortcutAccess::Route::boundCommands;
}

bool LinuxSessionPlatform::typesThroughCompositor() const
{
    return parts_->waylandDesktop != nullptr;
}

QString LinuxSessionPlatform::captureScopeNote() const
{
    if (plan_.session != SessionKind::waylandWithoutDataControl)
        return {};
    return QStringLiteral("This Wayland desktop offers no data control: copies made in X11 apps are recorded, copies "
                          "made in Wayland apps only when the desktop passes them to X11 apps");
}

void LinuxSessionPlatform::setActivationHandlers(ActivationHandlers handlers)
{
    parts_->handlers = std::move(handlers);
}

void LinuxSessionPlatform::shutDown()
{
    // No Wayland event may reach an object that is being destroyed.
    if (parts_->wayland)
        parts_->wayland->stopDispatching();
    if (parts_->toplevels)
        parts_->toplevels->setActivationHandler({});
    parts_->handlers = {};
}

} // namespace tolvi
