#include "Tolvi/platform/hotkeys/HotKeyBackend.h"

namespace tolvi {

HotKeyBackend::~HotKeyBackend() = default;

} // namespace tolvi
