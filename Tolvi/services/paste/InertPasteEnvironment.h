#pragma once

#include "Tolvi/services/paste/PasteService.h"

namespace tolvi {

// A paste environment with no other program in it: nothing is in front, nothing can be
// activated and no keystroke is sent. For windows shown without a desktop to paste into
// (previews, measurements).
PasteService::Environment inertPasteEnvironment();

} // namespace tolvi
