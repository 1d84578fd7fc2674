#include "Tolvi/history/ClipRowDelegate.h"

#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/clipviews/ClipboardRow.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "Tolvi/design/SymbolCatalog.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>

#include <cmath>

namespace tolvi {

ClipRowDelegate::ClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QStyledItemDelegate(parent),
      m_model(model),
      m_thumbnails(thumbnails)
{
}

namespace {
QRect itemArea(const QRect& itemRect)
{
    return itemRect.adjusted(ClipRowDelegate::sideInset, ClipRowDelegate::rowGap / 2, -ClipRowDelegate::sideInset,
                             -(ClipRowDelegate::rowGap - ClipRowDelegate::rowGap / 2));
}
} // namespace

QRect ClipRowDelegate::markRect(const QRect& itemRect)
{
    const QRect area = itemArea(itemRect);
    return {area.left(), area.center().y() - markSide / 2, markSide, markSide};
}

QRect ClipRowDelegate::rowRect(const QRect& itemRect)
{
    return itemArea(itemRect).adjusted(markSide + markSpacing, 0, 0, 0);
}

bool ClipRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip && markRect(option.rect).contains(event->pos())) {
        const ClipRowInput input = m_model.rowInput(index.row());
        QToolTip::showText(event->globalPos(),
                           input.isSelectedForBatch ? QStringLiteral("Remove from multi-paste selection")
                                                    : QStringLiteral("Select for multi-paste"),
                           view);
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        // The metadata line is cut short where the row ends (a long app name): hovering it shows
        // the whole line.
        if (const ClipboardItem* item = m_model.itemAt(index.row())) {
            const ClipRowPresentation presentation = ClipRowPresentation::make(*item, m_model.now());
            const ClipboardRow::Parts parts =
                ClipboardRow::parts(QRectF(rowRect(option.rect)), *item, m_model.rowInput(index.row()), presentation);
            if (parts.metadataLine.contains(event->pos())) {
                QToolTip::showText(event->globalPos(), ClipRowText::plainToolTip(presentation.metadata), view,
                                   parts.metadataLine.toAlignedRect());
                return true;
            }
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

QSize ClipRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipboardItem* item = m_model.itemAt(index.row());
    const int height = ClipboardRow::rowHeight(item && ClipboardRow::isImageRow(*item)) + rowGap;
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

    ClipboardRow::Thumbnail thumbnail;
    if (ClipboardRow::isImageRow(*item)) {
        if (m_thumbnails) {
            const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
            const int side = int(std::ceil(ClipboardRow::tileSide * ratio));
            thumbnail = m_thumbnails->thumbnail(item->content().imageValue(), side);
        } else {
            thumbnail.state = ClipboardRow::Thumbnail::State::failed;
        }
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // The multi-paste mark beside the card.
    const QRect mark = markRect(option.rect);
    const int side = SymbolCatalog::pixelSizeForPointSize(19);
    const QRectF symbol(mark.center().x() - side / 2.0 + 0.5, mark.center().y() - side / 2.0 + 0.5, side, side);
    if (input.isSelectedForBatch) {
        SymbolCatalog::paint(*painter, symbol, QStringLiteral("checkmark.circle.fill"),
                             context.color(TolviDesign::ColorToken::mint));
    } else {
        QColor muted = context.color(TolviDesign::ColorToken::muted);
        muted.setAlphaF(muted.alphaF() * 0.72);
        SymbolCatalog::paint(*painter, symbol, QStringLiteral("circle"), muted);
    }
    ClipboardRow::paint(*painter, QRectF(rowRect(option.rect)), *item, input, presentation, thumbnail, context);
    painter->restore();
}

} // namespace tolvi
