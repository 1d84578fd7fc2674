#pragma once

#include "Tolvi/clipviews/ClipListModel.h"

#include <QStackedWidget>
#include <QStyledItemDelegate>

class QListView;

namespace tolvi {

class CompactPanelState;
class EmptyHistoryView;
class ThumbnailCache;

// The result list's rows: the history's clip rows with the compact panel's own hint.
class CompactClipListModel : public ClipListModel {
    Q_OBJECT
public:
    using ClipListModel::ClipListModel;
    QVariant data(const QModelIndex& index, int role) const override;

    // The selected row, for the rows' identifiers. Announces no data change: a list view lays
    // out every row again on any change, so the view repaints the two rows itself.
    void setSelectedRow(int row) { m_selectedRow = row; }
    int selectedRow() const { return m_selectedRow; }

    static inline const QString accessibilityHint =
        QStringLiteral("Select this clip. Press Return to open paste actions.");
    static inline const QString toolTip = QStringLiteral("Select clip. Press Return to open paste actions.");

private:
    int m_selectedRow = -1;
};

class CompactClipRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    CompactClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent = nullptr);

    static constexpr int rowGap = 4;
    static constexpr int sideInset = 8;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ClipListModel& m_model;
    ThumbnailCache* m_thumbnails;
};

// What the compact panel shows while finding a clip: the list of the filtered clips, one
// CompactClipboardRow each, or "No clipboard history" when the history is empty, or "No matches"
// when the search and filters leave nothing. A click on a row selects it; the context menu of
// an image row offers to read its text again.
class CompactResultList : public QStackedWidget {
    Q_OBJECT
public:
    CompactResultList(CompactPanelState& state, ThumbnailCache* thumbnails, QWidget* parent = nullptr);

    QListView* list() const { return m_list; }
    CompactClipListModel& model() const { return *m_model; }
    EmptyHistoryView* emptyView() const { return m_empty; }
    EmptyHistoryView* noMatchesView() const { return m_noMatches; }
    bool isShowingList() const;

    // The state's filtered clips changed: the list, or the empty state that stands for it.
    void showFilteredItems();
    // The state's selected row changed (or holds another clip now).
    void showSelection();
    // Scrolls to the state's keyboard scroll target, when it is listed.
    void scrollToTarget();

private:
    void openMenu(const QPoint& position);

    CompactPanelState& m_state;
    QListView* m_list = nullptr;
    CompactClipListModel* m_model = nullptr;
    EmptyHistoryView* m_empty = nullptr;
    EmptyHistoryView* m_noMatches = nullptr;
    QWidget* m_emptyPage = nullptr;
    QWidget* m_noMatchesPage = nullptr;
};

} // namespace tolvi
