#include "Tolvi/panels/CompactPanelCommand.h"

namespace tolvi {

namespace {

// In the order of the enumerators.
constexpr BusCommandNames<CompactPanelCommand, allCompactPanelCommands.size()> names(
    "tolvi.compact.", {"accept", "openActions", "editSelectedClip", "toggleClipPreview", "cancel",
                       "selectPreviousClip", "selectNextClip"});

} // namespace

QString notificationName(CompactPanelCommand command)
{
    return names.notificationName(command);
}

std::optional<CompactPanelCommand> compactPanelCommand(const QString& name)
{
    return names.command(name);
}

} // namespace tolvi
