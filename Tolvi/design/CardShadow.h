#pragma once

#include <QRectF>

class QPainter;

namespace tolvi {

// The soft shadow that falls below a card over a window: rings of fading black around the
// card, widest and faintest outside.
namespace CardShadow {

constexpr int rings = 10;
// How far the outermost ring reaches beyond the card, all round, and how far the shadow is
// dropped below the card at rest.
constexpr qreal spread = 42;
constexpr qreal drop = 24;
constexpr qreal opacity = 0.24;

// Paints the rings around `card` (where the shadow lies, already dropped) one by one, at
// `strength` (0 to 1) of their full opacity: for the moments of a transition.
void paintRings(QPainter& painter, const QRectF& card, qreal cornerRadius, qreal strength);

// Paints the same shadow at full strength from one small tile: every ring shares its corners'
// centres with the card, so the shadow is four corners, four edges that do not change along
// their length and a middle of one shade. The tile holds one of each (a few tens of kilobytes,
// kept for the corner radius and pixel ratio drawn last), where a picture of the whole shadow
// would take megabytes for each size of card. A card too small for the tile gets the rings.
void paint(QPainter& painter, const QRectF& card, qreal cornerRadius);

} // namespace CardShadow
} // namespace tolvi
