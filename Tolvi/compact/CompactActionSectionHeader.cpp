#include "Tolvi/compact/CompactActionSectionHeader.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tolvi {

using ClipRowDrawing::labelSpacing;
using ClipRowDrawing::lineHeight;
using TolviDesign::ColorToken;
using TolviDesign::withOpacity;

namespace {

const QFont& titleFont()
{
    static const QFont font = TolviDesign::systemFont(11, QFont::Bold);
    return font;
}

const QFont& badgeFont()
{
    static const QFont font = TolviDesign::systemFont(10, QFont::Bold);
    return font;
}

} // namespace

int CompactActionSectionHeader::height()
{
    static const int height = int(std::ceil(std::max(lineHeight(titleFont()), lineHeight(badgeFont()) + 4)));
    return height;
}

void CompactActionSectionHeader::paint(QPainter& painter, const QRectF& rect, const QString& title, bool isRecommended,
                                       const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor color = context.color(isRecommended ? ColorToken::electricBlue : ColorToken::muted);
    const QRectF inner = rect.adjusted(10, 0, -10, 0);
    qreal x = inner.left();
    if (isRecommended) {
        const qreal side = SymbolCatalog::pixelSizeForPointSize(10);
        SymbolCatalog::paint(painter, QRectF(x, inner.center().y() - side / 2, side, side), QStringLiteral("sparkles"),
                             color);
        x += side + labelSpacing;
    }
    qreal right = inner.right();
    if (isRecommended) {
        const QString badge = QStringLiteral("Smart");
        const QFontMetricsF metrics(badgeFont());
        const QSizeF size(metrics.horizontalAdvance(badge) + 12, metrics.height() + 4);
        const QRectF capsule(right - size.width(), inner.center().y() - size.height() / 2, size.width(), size.height());
        painter.fillPath(roundedShape(capsule, size.height() / 2),
                         withOpacity(context.color(ColorToken::electricBlue), 0.12));
        painter.setFont(badgeFont());
        painter.setPen(color);
        painter.drawText(capsule, Qt::AlignCenter | Qt::TextSingleLine, badge);
        right = capsule.left() - labelSpacing;
    }
    ClipRowDrawing::drawLine(painter, QRectF(x, inner.top(), std::max<qreal>(0, right - x), inner.height()),
                             title.toUpper(), titleFont(), color);
    painter.restore();
}

} // namespace tolvi
