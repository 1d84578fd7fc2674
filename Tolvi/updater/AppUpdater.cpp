#include "Tolvi/updater/AppUpdater.h"

namespace tolvi {

AppUpdater::AppUpdater(bool updatesComeFromElsewhere, const ControllerFactory& makeController,
                       const MainQueue& mainQueue)
{
    if (updatesComeFromElsewhere || !makeController)
        return;
    m_controller = makeController();
    if (!m_controller)
        return;
    m_controller->setAutomaticallyDownloadsUpdates(false);
    // One background check right after start-up, when the user allows automatic checks.
    std::shared_ptr<UpdateController> controller = m_controller;
    mainQueue([controller] {
        if (controller->automaticallyChecksForUpdates())
            controller->checkForUpdatesInBackground();
    });
}

void AppUpdater::checkForUpdates()
{
    if (m_controller)
        m_controller->checkForUpdates();
}

} // namespace tolvi
