#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QPalette>
#include <QStringList>

class QLabel;
class QWidget;

namespace tolvi {

// What the files of ClipLensView share: questions about a clip's file references, and the
// pane's plain labels and button rows.
namespace lensview {

bool hasFileReferences(const ClipboardItem& item);
QStringList fileURLsOf(const ClipboardItem& item);

// A word-wrapped label that shows its text as plain text.
QLabel* plainLabel(TolviDesign::Typography style, QPalette::ColorRole role, QWidget* parent);
// A row of buttons at their own widths whose bodies line up with the row's edges.
QWidget* buttonRow(QWidget* parent, int spacing);

} // namespace lensview

} // namespace tolvi
