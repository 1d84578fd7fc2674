#pragma once

#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QKeyCombination>

#include <optional>

class QKeyEvent;

namespace tolvi {

// The program's own commands, which every one of its windows answers from the keyboard: a tray
// program has no menu bar to carry them.
enum class ApplicationKeyboardCommand {
    showHistory,      // "Show History": shows the history window, never hides it
    openCompactMode,  // "Open Compact Mode"
    newSnippet,       // "New Snippet…"
    showSettings,     // "Settings…"
};

// The chords of the two windows' global shortcuts, which also work inside the program's windows
// (where the global shortcut is off or another program holds it).
struct ApplicationShortcuts {
    QKeyCombination showHistory;
    QKeyCombination openCompactMode;
};

// The key table of the program's commands, consulted after a window's own table declined the key:
//  - Ctrl+, opens Settings wherever the focus is;
//  - the history window's and the compact panel's chords show them wherever the focus is;
//  - Ctrl+N starts a new snippet except in a search field or a text editor, which keep it.
// Modifiers are reduced as the window's table reduces them; Control plays the command key.
std::optional<ApplicationKeyboardCommand> applicationKeyboardCommand(int key, Qt::KeyboardModifiers modifiers,
                                                                     PanelKeyboardRouting::Focus focus,
                                                                     const ApplicationShortcuts& shortcuts);

} // namespace tolvi
