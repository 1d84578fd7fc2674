#pragma once

#include "Tolvi/panels/BusCommandNames.h"

#include <QString>

#include <array>
#include <optional>

namespace tolvi {

// The panel keyboard commands. Each travels on the command bus under the name
// "tolvi.panel." followed by the command.
enum class PanelKeyboardCommand {
    historyEscape,
    dismissHistoryOverlay,
    createSnippet,
    toggleClipPreview,
    selectPreviousClip,
    selectNextClip,
    pasteSelectedClip,
};

inline constexpr std::array<PanelKeyboardCommand, 7> allPanelKeyboardCommands =
    busCommands<PanelKeyboardCommand, 7>();

// "tolvi.panel.historyEscape", "tolvi.panel.selectNextClip", ...
QString notificationName(PanelKeyboardCommand command);

// The command of a notification name; nothing for any other name.
std::optional<PanelKeyboardCommand> panelKeyboardCommand(const QString& notificationName);

} // namespace tolvi
