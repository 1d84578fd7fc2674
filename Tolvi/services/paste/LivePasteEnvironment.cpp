#include "Tolvi/services/paste/LivePasteEnvironment.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/x11/X11Desktop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace tolvi {

namespace {

// Our windows that Qt has hidden (and had created on the server).
QList<std::uint32_t> hiddenOwnWindows()
{
    QList<std::uint32_t> windows;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return windows;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible() && window->handle())
            windows.append(std::uint32_t(window->winId()));
    }
    return windows;
}

// A panel is hidden through Qt's connection to the server, the destination activated through
// ours. Once Qt's connection has had an answer, the server has unmapped the panel, so the window
// manager hands the focus back from it before it sees our activation request, never after.
void letOwnWindowRequestsArrive()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = application ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

PasteService::Environment makeLivePasteEnvironment(PasteDesktop& desktop, Scheduler& scheduler)
{
    PasteService::Environment environment;
    environment.frontmostPID = [&desktop] { return desktop.frontmostPID(); };
    environment.isTolvi = [](PasteService::Pid pid) { return pid == QCoreApplication::applicationPid(); };
    environment.isRunning = [&desktop](PasteService::Pid pid) { return desktop.targetIsRunning(pid); };
    environment.activate = [&desktop](PasteService::Pid pid) {
        letOwnWindowRequestsArrive();
        return desktop.activate(pid);
    };
    environment.isTrusted = [&desktop] { return desktop.canSendKeystrokes(); };
    // Nothing to ask for: the right comes with the session.
    environment.requestPermission = [] {};
    // Keystrokes go out through pasteInto only, checked against the destination.
    environment.sendPaste = nullptr;
    environment.schedule = [&scheduler](double seconds, std::function<void()> work) {
        scheduler.scheduleOnce(seconds, std::move(work));
    };
    environment.destinationHasBlockingDialog = [&desktop](PasteService::Pid pid) {
        return desktop.hasBlockingDialog(pid, std::chrono::milliseconds(150));
    };
    environment.applicationDescription = [&desktop](std::optional<PasteService::Pid> pid) {
        return desktop.describe(pid);
    };
    environment.keyboardFocusBelongsTo = [&desktop](PasteService::Pid pid) {
        return desktop.keyboardFocusBelongsTo(pid);
    };
    environment.ownWindowsUnmapped = [&desktop] {
        const QList<std::uint32_t> hidden = hiddenOwnWindows();
        return std::none_of(hidden.cbegin(), hidden.cend(),
                            [&desktop](std::uint32_t window) { return desktop.isViewable(window); });
    };
    // The target then asks us for the clipboard contents; the event loop keeps running after
    // this returns, so we can answer.
    environment.pasteInto = [&desktop](PasteService::Pid pid) { return desktop.pasteInto(pid); };
    environment.frontmostIsUnidentified = [&desktop] { return desktop.frontmostIsUnidentified(); };
    environment.canTypeInto = [&desktop](PasteService::Pid pid) { return desktop.canTypeInto(pid); };
    environment.permissionPlace = [&desktop] { return desktop.permissionPlace(); };
    environment.pasteByHandHint = desktop.pasteByHandHint();
    environment.activationRefusal = [&desktop](PasteService::Pid pid) { return desktop.activationRefusal(pid); };
    return environment;
}

void connectActivations(X11ActivationWatcher& watcher, PasteService& service)
{
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, &service,
                     [&service](qint64 pid) { service.applicationActivated(pid); });
}

} // namespace tolvi
