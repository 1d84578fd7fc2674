#pragma once

#include "Tolvi/clipviews/ClipRowPresentation.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QAbstractListModel>
#include <QList>

#include <functional>

namespace tolvi {

// The rows of a clip list: one per clip, in the order given. A new list is applied as the
// smallest run of removed and inserted rows between the common start and end (or as a reset
// when most rows change), and a clip that changed in place repaints only its row, so a view
// keeps its scroll position and current row across updates. The model keeps the list it is
// given, shared with the caller's, and never changes it in place (which would copy it whole).
// Rows are described for assistive technologies and for the keyboard routing through the item
// data roles.
class ClipListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // The accessibility identifier, under the role the keyboard routing reads.
        IdentifierRole = PanelKeyboardRouting::accessibilityIdentifierRole,
        ItemIDRole = Qt::UserRole + 1,
    };

    // What each row shows besides its clip. The focused row is the one whose identifier marks
    // it as the inspected clip.
    using RowInputProvider = std::function<ClipRowInput(int row, const ClipboardItem& item)>;

    explicit ClipListModel(QObject* parent = nullptr);

    void setRowInputProvider(RowInputProvider provider) { m_rowInput = std::move(provider); }
    void setClock(std::function<double()> now) { m_now = std::move(now); }
    double now() const { return m_now(); }
    void setFocusedRow(int row);
    int focusedRow() const { return m_focusedRow; }

    void setItems(const QList<ClipboardItem>& items);
    // The list of the rows (between the removal and the insertion of one update, the list
    // before it: rows are read past the removed ones then).
    const QList<ClipboardItem>& items() const { return m_items; }
    const ClipboardItem* itemAt(int row) const;
    ClipRowInput rowInput(int row) const;
    int rowOf(const QUuid& id) const;

    // Every row's decorations may have changed (queue, recognition states): repaint.
    void decorationsChanged();
    void rowChanged(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Above this many changed rows a new list resets the model instead.
    static constexpr int largestIncrementalChange = 64;

private:
    QList<ClipboardItem> m_items;
    // Rows removed ahead of an insertion: the rows from `m_gapStart` on are read `m_gapLength`
    // clips further into `m_items` until the new list is in place.
    qsizetype m_gapStart = 0;
    qsizetype m_gapLength = 0;
    RowInputProvider m_rowInput;
    std::function<double()> m_now;
    int m_focusedRow = -1;
};

} // namespace tolvi
