#include "Tolvi/services/paste/InertPasteEnvironment.h"

#include <QCoreApplication>
#include <QTimer>

namespace tolvi {

PasteService::Environment inertPasteEnvironment()
{
    using Pid = PasteService::Pid;
    PasteService::Environment env;
    env.frontmostPID = [] { return std::optional<Pid>(); };
    env.isTolvi = [](Pid) { return false; };
    env.isRunning = [](Pid) { return false; };
    env.activate = [](Pid) { return false; };
    env.isTrusted = [] { return false; };
    env.requestPermission = [] {};
    env.sendPaste = [] {};
    env.schedule = [](double seconds, std::function<void()> work) {
        QTimer::singleShot(int(seconds * 1000), QCoreApplication::instance(), std::move(work));
    };
    env.destinationHasBlockingDialog = [](Pid) { return false; };
    env.applicationDescription = [](std::optional<Pid>) { return std::optional<QString>(); };
    return env;
}

} // namespace tolvi
