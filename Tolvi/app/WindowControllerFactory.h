#pragma once

#include "Tolvi/panels/WindowControllers.h"

#include <functional>
#include <memory>

namespace tolvi {

class AppState;

// Makes each controller the first time the composition root needs it.
struct WindowControllerFactory {
    std::function<std::unique_ptr<HistoryWindowControlling>(AppState&)> history;
    std::function<std::unique_ptr<CompactPanelControlling>(AppState&)> compact;
    std::function<std::unique_ptr<SimpleWindowControlling>(AppState&)> settings;
    std::function<std::unique_ptr<SimpleWindowControlling>(AppState&)> setup;
    std::function<std::unique_ptr<SimpleWindowControlling>(AppState&)> about;
    std::function<std::unique_ptr<WhatsNewWindowControlling>(AppState&)> whatsNew;
};

} // namespace tolvi
