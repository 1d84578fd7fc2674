#pragma once

#include "Tolvi/updater/UpdateController.h"

#include <functional>
#include <memory>

namespace tolvi {

// Owns the update machinery for the life of the program. Builds whose updates come from
// elsewhere (distribution packages) have no controller at all: nothing checks, and the
// menu's check item is disabled.
class AppUpdater {
public:
    using ControllerFactory = std::function<std::unique_ptr<UpdateController>()>;
    // Runs a function later on the main thread.
    using MainQueue = std::function<void(std::function<void()>)>;

    AppUpdater(bool updatesComeFromElsewhere, const ControllerFactory& makeController, const MainQueue& mainQueue);

    bool canCheckForUpdates() const { return m_controller != nullptr; }
    // The user-initiated check; nothing without a controller.
    void checkForUpdates();
    UpdateController* controller() const { return m_controller.get(); }

private:
    std::shared_ptr<UpdateController> m_controller;
};

} // namespace tolvi
