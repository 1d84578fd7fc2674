#pragma once

#include "Tolvi/clipviews/ClipRowPresentation.h"
#include "Tolvi/clipviews/ClipboardRow.h"
#include "Tolvi/design/TolviTheme.h"

#include <QRectF>

class QPainter;

namespace tolvi {

// One clip in the compact panel's result list, drawn rather than built from widgets so lists of
// any length cost only their visible rows: position number, preview, title, metadata,
// recognition line, the return glyph (kept in place, shown only when selected) and the pin.
// `input.isFocused` is the selection.
class CompactClipboardRow {
public:
    // Every clip row has the height of the tallest (an image with its recognition line).
    static int height();
    static void paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item, int index,
                      const ClipRowInput& input, const ClipboardRow::Thumbnail& thumbnail, double now,
                      const DesignContext& context);

    // What the compact panel's rows have in common.
    static constexpr qreal cornerRadius = 10;
    static constexpr qreal horizontalPadding = 10;
    static constexpr qreal spacing = 11;
    static constexpr qreal lineSpacing = 3;
    // The return glyph at the right of `inner`; returns the room it takes (kept even when hidden).
    static qreal paintReturnGlyph(QPainter& painter, const QRectF& inner, bool isSelected,
                                  const DesignContext& context);
};

} // namespace tolvi
