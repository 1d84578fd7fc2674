#include "Tolvi/panels/CompactPanelCommand.h"

namespace tolvi {

namespace {

const char* commandName(CompactPanelCommand command)
{
    switch (command) {
    case CompactPanelCommand::accept: return "accept";
    case CompactPanelCommand::openActions: return "openActions";
    case CompactPanelCommand::editSelectedClip: return "editSelectedClip";
    case CompactPanelCommand::toggleClipPreview: return "toggleClipPreview";
    case CompactPanelCommand::cancel: return "cancel";
    case CompactPanelCommand::selectPreviousClip: return "selectPreviousClip";
    case CompactPanelCommand::selectNextClip: return "selectNextClip";
    }
    return "";
}

} // namespace

QString notificationName(CompactPanelCommand command)
{
    return QStringLiteral("tolvi.compact.") + QLatin1String(commandName(command));
}

std::optional<CompactPanelCommand> compactPanelCommand(const QString& name)
{
    for (CompactPanelCommand command : allCompactPanelCommands) {
        if (notificationName(command) == name)
            return command;
    }
    return std::nullopt;
}

} // namespace tolvi
