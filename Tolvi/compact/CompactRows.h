#pragma once

#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/compact/CompactPasteAction.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

namespace tolvi {

class CompactPanelState;
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

// The action list's rows: a header row per titled section, then its actions, in catalogue order.
class CompactActionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IdentifierRole = PanelKeyboardRouting::accessibilityIdentifierRole,
        IsHeaderRole = Qt::UserRole + 1,
        ActionIndexRole,
    };

    explicit CompactActionListModel(const CompactPanelState& state, QObject* parent = nullptr);

    // The catalogue or the selection changed.
    void refresh();
    struct Row {
        int section = -1;
        // Index into the state's visible actions; -1 for a section header.
        int action = -1;
    };
    const Row* rowAt(int row) const;
    int rowOfAction(int actionIndex) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CompactPanelState& m_state;
    QList<Row> m_rows;
};

class CompactActionRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    CompactActionRowDelegate(const CompactPanelState& state, const CompactActionListModel& model,
                             QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Space above a section's header (between groups) and between rows of a group.
    static constexpr int sectionGap = 10;
    static constexpr int rowGap = 5;
    static constexpr int sideInset = 8;

private:
    const CompactPanelState& m_state;
    const CompactActionListModel& m_model;
};

} // namespace tolvi
