#pragma once

#include "Tolvi/compact/CompactPasteAction.h"
#include "Tolvi/design/TolviTheme.h"

#include <QRectF>

class QPainter;

namespace tolvi {

// One paste action in the compact panel's action list: the action's icon tile, its title over
// its subtitle, and the return glyph of the selected row. Its plate is tinted by selection and
// by the recommended section it stands in.
class CompactPasteActionRow {
public:
    static int height();
    static void paint(QPainter& painter, const QRectF& rect, const CompactPasteAction& action, bool isSelected,
                      bool isRecommended, const DesignContext& context);
};

} // namespace tolvi
