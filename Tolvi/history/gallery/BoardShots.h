#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace tolvi {

class TolviTheme;

// Opens the history window over a small history of its own, shows the board sheet in its main
// states (several boards with an unsaved name, a refusal, a change being saved, the removal and
// discard questions) and saves them as history-boards-<state>-<theme>.png in the folder. Returns
// what went wrong, if anything.
QStringList photographBoardSheet(const QDir& folder, const QString& themeName, TolviTheme& theme);

} // namespace tolvi
