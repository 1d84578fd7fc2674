#include "Tolvi/compact/CompactClipboardRow.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/compact/CompactClipPreview.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tolvi {

using ClipRowDrawing::drawLine;
using ClipRowDrawing::lineHeight;
using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr qreal verticalPadding = 8;
constexpr qreal numberWidth = 20;
// The return glyph in 12-point bold, the pin in the caption size.
constexpr qreal returnPoints = 12;
constexpr qreal pinPoints = 10;
// The catalogue has no "return" symbol; the turn-down-left arrow is the same key cap.
const QString returnSymbol = QStringLiteral("arrow.turn.down.left");

} // namespace

int CompactClipboardRow::height()
{
    static const int height = [] {
        const qreal title = lineHeight(TolviDesign::font(Typography::rowTitle));
        const qreal meta = lineHeight(TolviDesign::font(Typography::meta));
        const qreal recognition =
            std::max<qreal>(meta, SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::meta)));
        const qreal column = title + lineSpacing + meta + lineSpacing + recognition;
        return int(std::ceil(2 * verticalPadding + std::max<qreal>(CompactClipPreview::side, column)));
    }();
    return height;
}

qreal CompactClipboardRow::paintReturnGlyph(QPainter& painter, const QRectF& inner, bool isSelected,
                                            const DesignContext& context)
{
    const qreal side = SymbolCatalog::pixelSizeForPointSize(returnPoints);
    if (isSelected) {
        SymbolCatalog::paint(painter, QRectF(inner.right() - side, inner.center().y() - side / 2, side, side),
                             returnSymbol, context.color(ColorToken::electricBlue));
    }
    return side;
}

void CompactClipboardRow::paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item, int index,
                                const ClipRowInput& input, const ClipboardRow::Thumbnail& thumbnail, double now,
                                const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const bool selected = input.isFocused;
    QColor stroke;
    qreal strokeWidth = 1;
    if (context.increasedContrast) {
        stroke = context.color(selected ? ColorToken::electricBlue : ColorToken::muted);
        strokeWidth = selected ? 2 : 1;
    } else {
        stroke = context.color(selected ? ColorToken::focusedRowStroke : ColorToken::rowStroke);
    }
    ClipRowDrawing::paintPlate(painter, rect, cornerRadius,
                               context.color(selected ? ColorToken::focusedRowFill : ColorToken::surface), stroke,
                               strokeWidth);

    const QRectF inner = rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    qreal x = inner.left();
    painter.setFont(TolviDesign::font(Typography::number));
    painter.setPen(context.color(ColorToken::muted));
    painter.drawText(QRectF(x, inner.top(), numberWidth, inner.height()), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::number(index));
    x += numberWidth + spacing;
    constexpr qreal previewSide = CompactClipPreview::side;
    CompactClipPreview::paint(painter, QRectF(x, inner.center().y() - previewSide / 2, previewSide, previewSide),
                              item, thumbnail, context);
    x += previewSide + spacing;

    qreal right = inner.right();
    if (item.isPinned()) {
        const qreal side = SymbolCatalog::pixelSizeForPointSize(pinPoints);
        SymbolCatalog::paint(painter, QRectF(right - side, inner.center().y() - side / 2, side, side),
                             QStringLiteral("pin.fill"), context.color(ColorToken::amber));
        right -= side + spacing;
    }
    right -= paintReturnGlyph(painter, QRectF(inner.left(), inner.top(), right - inner.left(), inner.height()),
                              selected, context)
        + spacing;

    // The text column, centred in the row.
    const QFont& titleFont = TolviDesign::font(Typography::rowTitle);
    const QFont& metaFont = TolviDesign::font(Typography::meta);
    const qreal titleLine = lineHeight(titleFont);
    const qreal metaLine = lineHeight(metaFont);
    const qreal metaPoints = TolviDesign::layoutPointSize(Typography::meta);
    const qreal recognitionLine = std::max<qreal>(metaLine, SymbolCatalog::pixelSizeForPointSize(metaPoints));
    const ClipboardImage* image = item.content().imageIf();
    const bool hasRecognitionLine = image && (input.ocrStatus || input.isRecognizingText);
    const qreal columnHeight =
        titleLine + lineSpacing + metaLine + (hasRecognitionLine ? lineSpacing + recognitionLine : 0);
    const qreal width = std::max<qreal>(0, right - x);
    qreal y = inner.top() + (inner.height() - columnHeight) / 2;
    drawLine(painter, QRectF(x, y, width, titleLine), CompactPanelState::summary(item), titleFont,
             context.color(ColorToken::ink));
    y += titleLine + lineSpacing;
    drawLine(painter, QRectF(x, y, width, metaLine), ClipboardFormatter::metadata(item, now), metaFont,
             context.color(ColorToken::muted));
    y += metaLine + lineSpacing;
    if (hasRecognitionLine) {
        ClipRowDrawing::paintRecognitionLine(painter, QRectF(x, y, width, recognitionLine), input.ocrStatus,
                                             context.color(ColorToken::electricBlue), context);
    }
    painter.restore();
}

} // namespace tolvi
