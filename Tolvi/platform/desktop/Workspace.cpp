#include "Tolvi/platform/desktop/Workspace.h"

#include <QCoreApplication>

namespace tolvi {

Workspace::~Workspace() = default;

QList<RunningApplication> Workspace::runningApplications()
{
    return {};
}

bool Workspace::isOwnProcess(qint64 pid) const
{
    return pid == QCoreApplication::applicationPid();
}

} // namespace tolvi
