#include "Tolvi/shell/GlobalShortcutChords.h"

namespace tolvi {

HotKeyChord historyWindowChord(GlobalShortcutPreset preset)
{
    using namespace HotKeyModifier;
    switch (preset) {
    case GlobalShortcutPreset::controlOptionV:
        return {HotKeyKeyCode::V, Control | Option};
    case GlobalShortcutPreset::commandShiftV:
        return {HotKeyKeyCode::V, Command | Shift};
    case GlobalShortcutPreset::controlOptionSpace:
        return {HotKeyKeyCode::Space, Control | Option};
    case GlobalShortcutPreset::optionSpace:
        return {HotKeyKeyCode::Space, Option};
    }
    return {HotKeyKeyCode::V, Control | Option};
}

HotKeyChord compactPanelChord(GlobalShortcutPreset preset)
{
    using namespace HotKeyModifier;
    if (preset == GlobalShortcutPreset::commandShiftV)
        return {HotKeyKeyCode::V, Control | Option};
    return {HotKeyKeyCode::V, Command | Shift};
}

} // namespace tolvi
