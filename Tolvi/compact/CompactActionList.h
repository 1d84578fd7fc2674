#pragma once

#include "Tolvi/compact/CompactPasteAction.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QAbstractListModel>
#include <QStackedWidget>
#include <QStyledItemDelegate>

class QListView;
class QPushButton;

namespace tolvi {

class CompactPanelState;
class EmptyHistoryView;

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

// What the compact panel shows while choosing how to paste the selected clip: its paste actions
// grouped in sections, each titled section under a CompactActionSectionHeader and each action a
// CompactPasteActionRow, with the button that reads an image's text again above them; or
// "Nothing selected" without a clip. One click on an action selects and runs it.
class CompactActionList : public QStackedWidget {
    Q_OBJECT
public:
    explicit CompactActionList(CompactPanelState& state, QWidget* parent = nullptr);

    QListView* list() const { return m_list; }
    CompactActionListModel& model() const { return *m_model; }
    EmptyHistoryView* emptyView() const { return m_empty; }
    QPushButton* retryButton() const { return m_retry; }
    bool isShowingList() const { return currentWidget() == m_listPage; }

    // The catalogue or the selected action changed.
    void showActions();

private:
    CompactPanelState& m_state;
    QWidget* m_listPage = nullptr;
    QListView* m_list = nullptr;
    CompactActionListModel* m_model = nullptr;
    EmptyHistoryView* m_empty = nullptr;
    QPushButton* m_retry = nullptr;
};

} // namespace tolvi
