#include "Tolvi/compact/CompactClipPreview.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/design/Badges.h"

#include <QPainter>

#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;

CompactClipPreview::CompactClipPreview(ThumbnailCache* thumbnails, QWidget* parent)
    : QWidget(parent),
      m_thumbnails(thumbnails)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (m_thumbnails)
        connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, qOverload<>(&QWidget::update));
}

void CompactClipPreview::setItem(std::optional<ClipboardItem> item)
{
    m_item = std::move(item);
    update();
}

void CompactClipPreview::paintEvent(QPaintEvent*)
{
    if (!m_item)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, QRectF(rect()), *m_item, thumbnailFor(m_thumbnails, *m_item, devicePixelRatioF()),
          DesignContext::of(this));
}

ClipboardRow::Thumbnail CompactClipPreview::thumbnailFor(ThumbnailCache* thumbnails, const ClipboardItem& item,
                                                         qreal ratio)
{
    ClipboardRow::Thumbnail thumbnail;
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return thumbnail;
    if (!thumbnails) {
        thumbnail.state = ClipboardRow::Thumbnail::State::failed;
        return thumbnail;
    }
    return thumbnails->thumbnail(*image, int(std::ceil(side * ratio)));
}

void CompactClipPreview::paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item,
                               const ClipboardRow::Thumbnail& thumbnail, const DesignContext& context)
{
    const QColor secondary = context.color(ColorToken::muted);
    if (!item.content().isImage()) {
        TolviIconTile::paintTile(painter, rect, QStringLiteral("text.alignleft"), secondary);
        return;
    }
    // Until the tile is decoded (off the main thread) the icon stands in; a refused image keeps it.
    if (thumbnail.state != ClipboardRow::Thumbnail::State::ready || thumbnail.image.isNull()) {
        TolviIconTile::paintTile(painter, rect, QStringLiteral("photo"), secondary);
        return;
    }
    ClipRowDrawing::paintImageTile(painter, rect, thumbnail.image, 0.1, context);
}

} // namespace tolvi
