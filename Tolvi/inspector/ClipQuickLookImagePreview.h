#pragma once

#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "TolviCore/model/ClipboardImage.h"

#include <QImage>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <optional>

class QPainter;

namespace tolvi {

struct DesignContext;

namespace quicklook {

// An image clip's picture on its plate, decoded at the size shown. While the decode for the
// present size runs, the last picture (or a placeholder) stands in; an image the raster policy
// refuses shows "Image preview unavailable".
class ImagePreview final : public QWidget {
public:
    ImagePreview(ThumbnailCache* thumbnails, QWidget* parent);

    void setImage(std::optional<ClipboardImage> image);
    ClipQuickLookOverlay::ImageState state() const;

    // A resize settles this long before the picture is decoded again for the new size.
    static constexpr int resizeSettleMilliseconds = 120;
    static constexpr qreal padding = 14;

protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    static bool nearlyEqual(QSize a, QSize b);
    QSize wantedBounds() const;
    ClipboardRow::Thumbnail request() const;
    void paintPlaceholder(QPainter& painter, const DesignContext& context);
    void paintUnavailable(QPainter& painter, const DesignContext& context);

    ThumbnailCache* m_thumbnails;
    std::optional<ClipboardImage> m_image;
    // The device-pixel size the picture is decoded for; follows the widget once resizing stops.
    QSize m_bounds;
    QImage m_shown;
    QTimer m_settle;
};

} // namespace quicklook

} // namespace tolvi
