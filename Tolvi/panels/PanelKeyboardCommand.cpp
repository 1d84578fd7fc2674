#include "Tolvi/panels/PanelKeyboardCommand.h"

namespace tolvi {

namespace {

// In the order of the enumerators.
constexpr BusCommandNames<PanelKeyboardCommand, allPanelKeyboardCommands.size()> names(
    "tolvi.panel.", {"historyEscape", "dismissHistoryOverlay", "createSnippet", "toggleClipPreview",
                     "selectPreviousClip", "selectNextClip", "pasteSelectedClip"});

} // namespace

QString notificationName(PanelKeyboardCommand command)
{
    return names.notificationName(command);
}

std::optional<PanelKeyboardCommand> panelKeyboardCommand(const QString& name)
{
    return names.command(name);
}

} // namespace tolvi
