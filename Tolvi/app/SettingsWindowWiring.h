#pragma once

#include "Tolvi/panels/WindowControllers.h"

#include <memory>

namespace tolvi {

class AppState;

// The settings window's controller, wired to the composition root's stores and actions: every
// action holds the root weakly and does nothing once it is gone.
std::unique_ptr<SimpleWindowControlling> makeSettingsPanelController(AppState& app);

} // namespace tolvi
