#include "Tolvi/history/ClipRowDelegate.h"

#include "Tolvi/history/ClipListModel.h"
#include "Tolvi/history/ClipRowPainter.h"
#include "Tolvi/history/ThumbnailCache.h"

#include <QPainter>
#include <QWidget>

#include <cmath>

namespace tolvi {

ClipRowDelegate::ClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QStyledItemDelegate(parent),
      m_model(model),
      m_thumbnails(thumbnails)
{
}

QRect ClipRowDelegate::rowRect(const QRect& itemRect)
{
    return itemRect.adjusted(sideInset, rowGap / 2, -sideInset, -(rowGap - rowGap / 2));
}

QSize ClipRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipboardItem* item = m_model.itemAt(index.row());
    const int height = ClipRowPainter::rowHeight(item && ClipRowPainter::isImageRow(*item)) + rowGap;
    return {option.rect.width() > 0 ? option.rect.width() : 320, height};
}

void ClipRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipboardItem* item = m_model.itemAt(index.row());
    if (!item)
        return;
    const QWidget* widget = option.widget;
    const DesignContext context = DesignContext::of(widget);
    const ClipRowInput input = m_model.rowInput(index.row());
    const ClipRowPresentation presentation = ClipRowPresentation::make(*item, m_model.now());

    ClipRowPainter::Thumbnail thumbnail;
    if (ClipRowPainter::isImageRow(*item)) {
        if (m_thumbnails) {
            const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
            const int side = int(std::ceil(ClipRowPainter::tileSide * ratio));
            thumbnail = m_thumbnails->thumbnail(item->content().imageValue(), side);
        } else {
            thumbnail.state = ClipRowPainter::Thumbnail::State::failed;
        }
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    ClipRowPainter::paint(*painter, QRectF(rowRect(option.rect)), *item, input, presentation, thumbnail, context);
    painter->restore();
}

} // namespace tolvi
