#pragma once

#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>

class QImage;
class QPainter;

namespace tolvi {

// The drawing both windows' clip rows are made of: single lines of text, symbol labels, the
// rounded plate behind a row, an image's tile and the text-recognition line.
namespace ClipRowDrawing {

// Space between a label's symbol and its text.
constexpr qreal labelSpacing = 5;

// The height of one line in `font`, in whole pixels.
qreal lineHeight(const QFont& font);

// A text as one painted line shows it: line breaks and other control characters become
// blanks. Only the start of a long text is read: a row's line never holds more.
QString oneLine(const QString& text);

// One line of text from the box's left, centred vertically and elided at its right edge.
void drawLine(QPainter& painter, const QRectF& box, const QString& text, const QFont& font, const QColor& color);

// [symbol][spacing][text] from the box's left, centred vertically; returns the width it took
// (nothing is drawn in a box narrower than the symbol).
qreal drawLabel(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& symbolColor,
                const QString& text, const QFont& font, const QColor& textColor, qreal symbolPoints);

// A row's rounded background and its outline, the outline kept inside the rectangle.
void paintPlate(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& fill, const QColor& stroke,
                qreal strokeWidth);

// An image scaled to fill the tile (its centre, cropped to the tile's shape), with rounded
// corners of radius 8 and outlined in the ink at `outlineOpacity`.
void paintImageTile(QPainter& painter, const QRectF& tile, const QImage& image, qreal outlineOpacity,
                    const DesignContext& context);

// Where text recognition stands, on one line in the meta style: the stored status's label,
// else "Reading image text…" in `readingColor`.
void paintRecognitionLine(QPainter& painter, const QRectF& line, const std::optional<ClipboardStore::OCRStatus>& status,
                          const QColor& readingColor, const DesignContext& context);

} // namespace ClipRowDrawing

} // namespace tolvi
