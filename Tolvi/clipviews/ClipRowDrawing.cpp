#include "Tolvi/clipviews/ClipRowDrawing.h"

#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tolvi::ClipRowDrawing {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr qreal imageCornerRadius = 8;
// A line is at most a few hundred pixels wide: this many characters always fill it.
constexpr qsizetype longestLine = 512;

} // namespace

qreal lineHeight(const QFont& font)
{
    return std::ceil(QFontMetricsF(font).height());
}

QString oneLine(const QString& text)
{
    QString line = text.left(longestLine);
    for (QChar& c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            c = QChar(u' ');
    }
    return line;
}

void drawLine(QPainter& painter, const QRectF& box, const QString& text, const QFont& font, const QColor& color)
{
    if (box.width() <= 0)
        return;
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(oneLine(text), Qt::ElideRight, box.width());
    painter.setFont(font);
    painter.setPen(color);
    const qreal baseline = box.top() + (box.height() - metrics.height()) / 2 + metrics.ascent();
    painter.drawText(QPointF(box.left(), baseline), shown);
}

qreal drawLabel(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& symbolColor,
                const QString& text, const QFont& font, const QColor& textColor, qreal symbolPoints)
{
    const qreal side = SymbolCatalog::pixelSizeForPointSize(symbolPoints);
    if (box.width() < side)
        return 0;
    SymbolCatalog::paint(painter, QRectF(box.left(), box.center().y() - side / 2, side, side), symbol, symbolColor);
    const QRectF textBox(box.left() + side + labelSpacing, box.top(), box.width() - side - labelSpacing, box.height());
    drawLine(painter, textBox, text, font, textColor);
    const QFontMetricsF metrics(font);
    return side + labelSpacing + std::min(textBox.width(), metrics.horizontalAdvance(oneLine(text)));
}

void paintPlate(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& fill, const QColor& stroke,
                qreal strokeWidth)
{
    painter.fillPath(roundedShape(rect, cornerRadius), fill);
    const qreal inset = strokeWidth / 2;
    painter.setPen(QPen(stroke, strokeWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedShape(rect.adjusted(inset, inset, -inset, -inset), cornerRadius - inset));
}

void paintImageTile(QPainter& painter, const QRectF& tile, const QImage& image, qreal outlineOpacity,
                    const DesignContext& context)
{
    const qreal scale = std::max(tile.width() / image.width(), tile.height() / image.height());
    const QSizeF shown(tile.width() / scale, tile.height() / scale);
    const QRectF source((image.width() - shown.width()) / 2, (image.height() - shown.height()) / 2, shown.width(),
                        shown.height());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipPath(roundedShape(tile, imageCornerRadius), Qt::IntersectClip);
    painter.drawImage(tile, image, source);
    painter.restore();
    painter.setPen(QPen(TolviDesign::withOpacity(context.color(ColorToken::ink), outlineOpacity), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedShape(tile.adjusted(0.5, 0.5, -0.5, -0.5), imageCornerRadius - 0.5));
}

void paintRecognitionLine(QPainter& painter, const QRectF& line, const std::optional<ClipboardStore::OCRStatus>& status,
                          const QColor& readingColor, const DesignContext& context)
{
    const QFont& meta = TolviDesign::font(Typography::meta);
    const qreal metaPoints = TolviDesign::layoutPointSize(Typography::meta);
    if (status) {
        const OCRStatusLabel::Presentation shown = OCRStatusLabel::presentation(*status);
        drawLabel(painter, line, shown.systemImage, context.color(shown.symbolColor), shown.message, meta,
                  context.color(ColorToken::ink), metaPoints);
        return;
    }
    drawLabel(painter, line, QStringLiteral("text.viewfinder"), readingColor, QStringLiteral("Reading image text\u2026"),
              meta, readingColor, metaPoints);
}

} // namespace tolvi::ClipRowDrawing
