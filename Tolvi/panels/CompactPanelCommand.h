#pragma once

#include "Tolvi/panels/BusCommandNames.h"

#include <QString>

#include <array>
#include <optional>

namespace tolvi {

// The compact panel's keyboard commands, a family of their own beside the history window's
// panel commands. Each travels on the command bus under the name "tolvi.compact." followed by
// the command.
enum class CompactPanelCommand {
    accept,
    openActions,
    editSelectedClip,
    toggleClipPreview,
    cancel,
    selectPreviousClip,
    selectNextClip,
};

inline constexpr std::array<CompactPanelCommand, 7> allCompactPanelCommands = busCommands<CompactPanelCommand, 7>();

// "tolvi.compact.accept", "tolvi.compact.selectNextClip", ...
QString notificationName(CompactPanelCommand command);

// The command of a notification name; nothing for any other name.
std::optional<CompactPanelCommand> compactPanelCommand(const QString& notificationName);

} // namespace tolvi
