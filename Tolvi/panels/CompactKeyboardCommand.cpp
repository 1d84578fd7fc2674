#include "Tolvi/panels/CompactKeyboardCommand.h"

namespace tolvi {

namespace {

// In the order of the enumerators.
constexpr BusCommandNames<CompactKeyboardCommand, allCompactKeyboardCommands.size()> names(
    "tolvi.compact.", {"accept", "openActions", "editSelectedClip", "toggleClipPreview", "cancel",
                       "selectPreviousClip", "selectNextClip"});

} // namespace

QString notificationName(CompactKeyboardCommand command)
{
    return names.notificationName(command);
}

std::optional<CompactKeyboardCommand> compactKeyboardCommand(const QString& name)
{
    return names.command(name);
}

} // namespace tolvi
