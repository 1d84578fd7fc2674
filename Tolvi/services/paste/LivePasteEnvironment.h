#pragma once

#include "Tolvi/services/paste/PasteService.h"

namespace tolvi {

class Scheduler;
class X11ActivationWatcher;
class X11Desktop;

// The paste service's environment on an X11 desktop. Both references must outlive the service.
PasteService::Environment makeLivePasteEnvironment(X11Desktop& desktop, Scheduler& scheduler);

// Hands every activation the watcher reports to the service.
void connectActivations(X11ActivationWatcher& watcher, PasteService& service);

} // namespace tolvi
