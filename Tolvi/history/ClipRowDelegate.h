#pragma once

#include <QStyledItemDelegate>

namespace tolvi {

class ClipListModel;
class ThumbnailCache;

// Paints the rows of a ClipListModel with ClipboardRow. Rows keep `rowGap` between them and
// `sideInset` to the list's edges; a row's height depends only on its kind.
class ClipRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent = nullptr);

    static constexpr int rowGap = 6;
    static constexpr int sideInset = 12;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Within an item rectangle: the multi-paste mark at the leading edge, and the clip's card
    // beside it.
    static QRect markRect(const QRect& itemRect);
    static QRect rowRect(const QRect& itemRect);
    static constexpr int markSide = 28;
    static constexpr int markSpacing = 8;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    const ClipListModel& m_model;
    ThumbnailCache* m_thumbnails;
};

} // namespace tolvi
