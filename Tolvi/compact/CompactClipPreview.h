#pragma once

#include "Tolvi/clipviews/ClipboardRow.h"
#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QWidget>

#include <optional>

class QPainter;

namespace tolvi {

class ThumbnailCache;

// The small preview of a clip, in the compact panel's clip rows and its action header: an
// image's tile (the "photo" icon tile until it is decoded, or when the image is refused), else
// the "text.alignleft" icon tile. As a widget it shows one clip and repaints when its tile is
// ready.
class CompactClipPreview : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 34;

    explicit CompactClipPreview(ThumbnailCache* thumbnails, QWidget* parent = nullptr);
    void setItem(std::optional<ClipboardItem> item);

    static void paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item,
                      const ClipboardRow::Thumbnail& thumbnail, const DesignContext& context);
    // The tile of an image clip at a pixel ratio (pending while it decodes).
    static ClipboardRow::Thumbnail thumbnailFor(ThumbnailCache* thumbnails, const ClipboardItem& item, qreal ratio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ThumbnailCache* m_thumbnails;
    std::optional<ClipboardItem> m_item;
};

} // namespace tolvi
