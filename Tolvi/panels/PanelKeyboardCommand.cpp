#include "Tolvi/panels/PanelKeyboardCommand.h"

namespace tolvi {

namespace {

const char* commandName(PanelKeyboardCommand command)
{
    switch (command) {
    case PanelKeyboardCommand::historyEscape: return "historyEscape";
    case PanelKeyboardCommand::dismissHistoryOverlay: return "dismissHistoryOverlay";
    case PanelKeyboardCommand::createSnippet: return "createSnippet";
    case PanelKeyboardCommand::toggleClipPreview: return "toggleClipPreview";
    case PanelKeyboardCommand::selectPreviousClip: return "selectPreviousClip";
    case PanelKeyboardCommand::selectNextClip: return "selectNextClip";
    case PanelKeyboardCommand::pasteSelectedClip: return "pasteSelectedClip";
    }
    return "";
}

} // namespace

QString notificationName(PanelKeyboardCommand command)
{
    return QStringLiteral("tolvi.panel.") + QLatin1String(commandName(command));
}

std::optional<PanelKeyboardCommand> panelKeyboardCommand(const QString& name)
{
    for (PanelKeyboardCommand command : allPanelKeyboardCommands) {
        if (notificationName(command) == name)
            return command;
    }
    return std::nullopt;
}

} // namespace tolvi
