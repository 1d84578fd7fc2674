#include "Tolvi/compact/CompactPasteActionRow.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/compact/CompactClipPreview.h"
#include "Tolvi/compact/CompactClipboardRow.h"
#include "Tolvi/design/Badges.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tolvi {

using ClipRowDrawing::drawLine;
using ClipRowDrawing::lineHeight;
using TolviDesign::ColorToken;
using TolviDesign::Typography;
using TolviDesign::withOpacity;

namespace {

constexpr qreal verticalPadding = 7;
constexpr qreal tileSide = CompactClipPreview::side;
constexpr qreal spacing = CompactClipboardRow::spacing;
constexpr qreal lineSpacing = CompactClipboardRow::lineSpacing;

const QFont& titleFont()
{
    static const QFont font = TolviDesign::systemFont(15, QFont::DemiBold);
    return font;
}

} // namespace

int CompactPasteActionRow::height()
{
    static const int height = [] {
        const qreal column = lineHeight(titleFont()) + lineSpacing + lineHeight(TolviDesign::font(Typography::meta));
        return int(std::ceil(2 * verticalPadding + std::max<qreal>(tileSide, column)));
    }();
    return height;
}

void CompactPasteActionRow::paint(QPainter& painter, const QRectF& rect, const CompactPasteAction& action,
                                  bool isSelected, bool isRecommended, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor blue = context.color(ColorToken::electricBlue);
    const QColor ink = context.color(ColorToken::ink);
    QColor fill;
    QColor stroke;
    if (isSelected) {
        fill = withOpacity(blue, isRecommended ? 0.16 : 0.12);
        stroke = withOpacity(blue, 0.34);
    } else if (isRecommended) {
        fill = withOpacity(blue, 0.065);
        stroke = withOpacity(blue, 0.16);
    } else {
        fill = withOpacity(ink, 0.026);
        stroke = withOpacity(ink, 0.055);
    }
    ClipRowDrawing::paintPlate(painter, rect, CompactClipboardRow::cornerRadius, fill, stroke, 1);

    constexpr qreal horizontalPadding = CompactClipboardRow::horizontalPadding;
    const QRectF inner = rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const QColor tint = isSelected || isRecommended ? blue : context.color(ColorToken::muted);
    TolviIconTile::paintTile(painter, QRectF(inner.left(), inner.center().y() - tileSide / 2, tileSide, tileSide),
                             action.systemImage, tint);
    const qreal x = inner.left() + tileSide + spacing;
    const qreal right = inner.right() - CompactClipboardRow::paintReturnGlyph(painter, inner, isSelected, context)
        - spacing;
    const qreal width = std::max<qreal>(0, right - x);
    const QFont& metaFont = TolviDesign::font(Typography::meta);
    const qreal titleLine = lineHeight(titleFont());
    const qreal metaLine = lineHeight(metaFont);
    qreal y = inner.top() + (inner.height() - titleLine - lineSpacing - metaLine) / 2;
    drawLine(painter, QRectF(x, y, width, titleLine), action.title, titleFont(), ink);
    y += titleLine + lineSpacing;
    drawLine(painter, QRectF(x, y, width, metaLine), action.subtitle, metaFont, context.color(ColorToken::muted));
    painter.restore();
}

} // namespace tolvi
