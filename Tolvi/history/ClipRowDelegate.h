#pragma once

#include <QStyledItemDelegate>

namespace tolvi {

class ClipListModel;
class ThumbnailCache;

// Paints the rows of a ClipListModel with ClipRowPainter. Rows keep `rowGap` between them and
// `sideInset` to the list's edges; a row's height depends only on its kind.
class ClipRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent = nullptr);

    static constexpr int rowGap = 6;
    static constexpr int sideInset = 12;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The rectangle the row itself takes within its item rectangle.
    static QRect rowRect(const QRect& itemRect);

private:
    const ClipListModel& m_model;
    ThumbnailCache* m_thumbnails;
};

} // namespace tolvi
