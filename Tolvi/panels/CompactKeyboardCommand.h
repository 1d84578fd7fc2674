#pragma once

#include "Tolvi/panels/BusCommandNames.h"

#include <QString>

#include <array>
#include <optional>

namespace tolvi {

// The compact panel's keyboard commands, a family of their own beside the history window's
// panel commands. Each travels on the command bus under the name "tolvi.compact." followed by
// the command.
enum class CompactKeyboardCommand {
    accept,
    openActions,
    editSelectedClip,
    toggleClipPreview,
    cancel,
    selectPreviousClip,
    selectNextClip,
};

inline constexpr std::array<CompactKeyboardCommand, 7> allCompactKeyboardCommands = busCommands<CompactKeyboardCommand, 7>();

// "tolvi.compact.accept", "tolvi.compact.selectNextClip", ...
QString notificationName(CompactKeyboardCommand command);

// The command of a notification name; nothing for any other name.
std::optional<CompactKeyboardCommand> compactKeyboardCommand(const QString& notificationName);

} // namespace tolvi
