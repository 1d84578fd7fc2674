#pragma once

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

inline constexpr std::array<PanelKeyboardCommand, 7> allPanelKeyboardCommands{
    PanelKeyboardCommand::historyEscape,      PanelKeyboardCommand::dismissHistoryOverlay,
    PanelKeyboardCommand::createSnippet,      PanelKeyboardCommand::toggleClipPreview,
    PanelKeyboardCommand::selectPreviousClip, PanelKeyboardCommand::selectNextClip,
    PanelKeyboardCommand::pasteSelectedClip,
};

// "tolvi.panel.historyEscape", "tolvi.panel.selectNextClip", ...
QString notificationName(PanelKeyboardCommand command);

// The command of a notification name; nothing for any other name.
std::optional<PanelKeyboardCommand> panelKeyboardCommand(const QString& notificationName);

} // namespace tolvi
