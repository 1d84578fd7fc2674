#pragma once

#include "Tolvi/design/TolviTheme.h"

#include <QString>

class QMessageBox;

namespace tolvi {

// The style sheet of the windows' slim vertical scroll bar: a handle in the theme's muted ink
// at 0.45, without arrows or a track; `margin` is the bar's CSS margin.
QString slimScrollBarStyleSheet(const DesignContext& context, const QString& margin);

// A window-modal warning box over `owner`, titled "Tolvi", that deletes itself when closed. It
// takes the window's colours on an opaque surface of its own: the windows draw their
// backgrounds themselves and leave their palettes' clear.
QMessageBox* makeThemedWarningBox(QWidget* owner);

// Keeps the box at least `width` wide, so its message runs on a few lines, not a narrow column.
void reserveMessageWidth(QMessageBox* box, int width);

} // namespace tolvi
