#pragma once

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/ClipRowPresentation.h"

#include <QImage>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace tolvi {

// Draws one history row: preview tile, title of up to two lines, metadata line, kind row with
// the board count, the text-recognition line of images, and the pin, multi-paste and digit
// marks. Every row has the same height, so a list of any length lays out without
// measuring text.
class ClipboardRow {
public:
    // What the preview tile of an image row has to show.
    struct Thumbnail {
        enum class State { pending, ready, failed };
        State state = State::pending;
        QImage image;  // the decoded tile when ready
    };

    // Every row has the same height: an image's one-line title leaves the room of a second
    // title line to its text-recognition line.
    static int rowHeight(bool isImageRow = false);
    // An image clip that is not shown as file references.
    static bool isImageRow(const ClipboardItem& item);
    // Side of the square preview tile, in device-independent pixels.
    static constexpr int tileSide = 48;

    static void paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item, const ClipRowInput& input,
                      const ClipRowPresentation& presentation, const Thumbnail& thumbnail,
                      const DesignContext& context);

    // Where a row painted in `rect` shows its digit badge (empty without one) and its metadata
    // line, for the tooltips and the accessible texts of those parts.
    struct Parts {
        QRectF digitBadge;
        QRectF metadataLine;
    };
    static Parts parts(const QRectF& rect, const ClipboardItem& item, const ClipRowInput& input,
                       const ClipRowPresentation& presentation);

    // The title as painted at this width: at most two lines, the last ending in an ellipsis when
    // the title goes on. Only the start of a long title is read; line breaks start new lines.
    static QStringList titleLines(const QString& title, qreal width);
};

} // namespace tolvi
