#include "Tolvi/design/CardShadow.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace tolvi::CardShadow {

namespace {

// Room kept around the card for the outermost ring and its antialiased edge.
constexpr qreal margin = spread / 2 + 1;

} // namespace

void paintRings(QPainter& painter, const QRectF& card, qreal cornerRadius, qreal strength)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int ring = rings; ring >= 1; --ring) {
        const qreal grow = spread * ring / rings;
        QColor shade(Qt::black);
        shade.setAlphaF(float(opacity * strength / rings));
        painter.setBrush(shade);
        painter.drawRoundedRect(card.adjusted(-grow / 2, -grow / 2, grow / 2, grow / 2), cornerRadius + grow / 2,
                                cornerRadius + grow / 2);
    }
    painter.restore();
}

void paint(QPainter& painter, const QRectF& card, qreal cornerRadius)
{
    // The tile: the shadow of a card of two corners and one pixel between them. Everything the
    // corners bend lies within `border` of the shadow's edge; the pixel between is what the
    // edges and the middle are stretched from.
    const qreal corner = std::ceil(std::max<qreal>(cornerRadius, 0));
    const qreal border = margin + corner;
    if (card.width() < 2 * corner + 1 || card.height() < 2 * corner + 1) {
        paintRings(painter, card, cornerRadius, 1);
        return;
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1;
    struct Tile {
        QPixmap pixmap;
        qreal cornerRadius = -1;
        qreal ratio = 0;
    };
    static Tile tile; // main thread only, like every painting of widgets
    if (tile.pixmap.isNull() || tile.cornerRadius != cornerRadius || tile.ratio != ratio) {
        const qreal side = 2 * border + 1;
        tile.pixmap = QPixmap(QSize(int(std::ceil(side * ratio)), int(std::ceil(side * ratio))));
        tile.pixmap.setDevicePixelRatio(ratio);
        tile.pixmap.fill(Qt::transparent);
        QPainter shadow(&tile.pixmap);
        paintRings(shadow, QRectF(margin, margin, 2 * corner + 1, 2 * corner + 1), cornerRadius, 1);
        tile.cornerRadius = cornerRadius;
        tile.ratio = ratio;
    }

    // Three columns and three rows, in the painter's units and in the tile's device pixels.
    const QRectF shadow = card.adjusted(-margin, -margin, margin, margin);
    const qreal xs[] = {shadow.left(), shadow.left() + border, shadow.right() - border, shadow.right()};
    const qreal ys[] = {shadow.top(), shadow.top() + border, shadow.bottom() - border, shadow.bottom()};
    const qreal sourceEdges[] = {0, border * ratio, (border + 1) * ratio, (2 * border + 1) * ratio};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF target(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1]));
            const QRectF source(QPointF(sourceEdges[column], sourceEdges[row]),
                                QPointF(sourceEdges[column + 1], sourceEdges[row + 1]));
            painter.drawPixmap(target, tile.pixmap, source);
        }
    }
}

} // namespace tolvi::CardShadow
