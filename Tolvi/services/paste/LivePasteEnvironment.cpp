#include "Tolvi/services/paste/LivePasteEnvironment.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/x11/X11Desktop.h"

#include <QCoreApplication>

namespace tolvi {

PasteService::Environment makeLivePasteEnvironment(X11Desktop& desktop, Scheduler& scheduler)
{
    PasteService::Environment environment;
    environment.frontmostPID = [&desktop] { return desktop.frontmostPID(); };
    environment.isTolvi = [](PasteService::Pid pid) { return pid == QCoreApplication::applicationPid(); };
    environment.isRunning = [](PasteService::Pid pid) { return X11Desktop::isRunning(pid); };
    environment.activate = [&desktop](PasteService::Pid pid) { return desktop.activate(pid); };
    environment.isTrusted = [&desktop] { return desktop.canSendKeystrokes(); };
    // Nothing to ask for on X11: the right comes with the session.
    environment.requestPermission = [] {};
    // The target then asks us for the clipboard contents; the event loop keeps running after
    // this returns, so we can answer.
    environment.sendPaste = [&desktop] { desktop.sendPaste(); };
    environment.schedule = [&scheduler](double seconds, std::function<void()> work) {
        scheduler.scheduleOnce(seconds, std::move(work));
    };
    environment.destinationHasBlockingDialog = [&desktop](PasteService::Pid pid) {
        return desktop.hasBlockingDialog(pid);
    };
    environment.applicationDescription = [&desktop](std::optional<PasteService::Pid> pid) {
        return desktop.describe(pid);
    };
    return environment;
}

void connectActivations(X11ActivationWatcher& watcher, PasteService& service)
{
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, &service,
                     [&service](qint64 pid) { service.applicationActivated(pid); });
}

} // namespace tolvi
