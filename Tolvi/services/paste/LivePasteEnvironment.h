#pragma once

#include "Tolvi/services/paste/PasteService.h"

namespace tolvi {

class PasteDesktop;
class Scheduler;
class X11ActivationWatcher;

// The paste service's environment on a desktop (X11, or a Wayland session through
// WaylandDesktop). Both references must outlive the service.
PasteService::Environment makeLivePasteEnvironment(PasteDesktop& desktop, Scheduler& scheduler);

// Hands every activation the watcher reports to the service.
void connectActivations(X11ActivationWatcher& watcher, PasteService& service);

} // namespace tolvi
