#pragma once

#include "Tolvi/menu/MenuBarContent.h"

namespace tolvi {

class AppState;

// What the tray menu shows now, from the composition root's stores.
MenuBarContent menuBarContent(AppState& state);

// Carries out a chosen tray-menu entry on the composition root.
void performMenuAction(AppState& state, const MenuBarEntry& entry);

} // namespace tolvi
