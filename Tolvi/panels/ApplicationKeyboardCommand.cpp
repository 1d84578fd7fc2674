#include "Tolvi/panels/ApplicationKeyboardCommand.h"

namespace tolvi {

std::optional<ApplicationKeyboardCommand> applicationKeyboardCommand(int key, Qt::KeyboardModifiers modifiers,
                                                                     PanelKeyboardRouting::Focus focus,
                                                                     const ApplicationShortcuts& shortcuts)
{
    using Focus = PanelKeyboardRouting::Focus;
    modifiers = PanelKeyboardRouting::tableModifiers(modifiers);
    auto matches = [key, modifiers](const QKeyCombination& chord) {
        return chord.key() != Qt::Key_unknown && int(chord.key()) == key
            && PanelKeyboardRouting::tableModifiers(chord.keyboardModifiers()) == modifiers;
    };

    if (modifiers == Qt::ControlModifier && key == Qt::Key_Comma)
        return ApplicationKeyboardCommand::showSettings;
    if (matches(shortcuts.showHistory))
        return ApplicationKeyboardCommand::showHistory;
    if (matches(shortcuts.openCompactMode))
        return ApplicationKeyboardCommand::openCompactMode;
    if (modifiers == Qt::ControlModifier && key == Qt::Key_N && focus != Focus::searchField
        && focus != Focus::textEditor)
        return ApplicationKeyboardCommand::newSnippet;
    return std::nullopt;
}

} // namespace tolvi
