#pragma once

#include "Tolvi/platform/hotkeys/HotKeyChord.h"
#include "Tolvi/shell/PreferenceValues.h"

namespace tolvi {

// The chord of each global shortcut preset: the history window's, and the compact panel's,
// which never equals the history window's chord of the same preset.
HotKeyChord historyWindowChord(GlobalShortcutPreset preset);
HotKeyChord compactPanelChord(GlobalShortcutPreset preset);

} // namespace tolvi
