#include "Tolvi/compact/CompactActionList.h"

#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/compact/CompactActionSectionHeader.h"
#include "Tolvi/compact/CompactPanelParts.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/compact/CompactPasteActionRow.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;

// ---- Rows -------------------------------------------------------------------------------

CompactActionListModel::CompactActionListModel(const CompactPanelState& state, QObject* parent)
    : QAbstractListModel(parent),
      m_state(state)
{
}

void CompactActionListModel::refresh()
{
    QList<Row> rows;
    if (m_state.mode() != CompactPanelMode::results) {
        int action = 0;
        const QList<CompactPasteActionSection>& sections = m_state.actionSections();
        for (qsizetype s = 0; s < sections.size(); ++s) {
            if (sections.at(s).title)
                rows.append({int(s), -1});
            for (qsizetype a = 0; a < sections.at(s).actions.size(); ++a)
                rows.append({int(s), action++});
        }
    }
    bool same = rows.size() == m_rows.size();
    for (qsizetype i = 0; same && i < rows.size(); ++i)
        same = rows.at(i).section == m_rows.at(i).section && rows.at(i).action == m_rows.at(i).action;
    if (!same) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // Same shape: the actions themselves or the selection may differ.
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(int(m_rows.size()) - 1));
}

const CompactActionListModel::Row* CompactActionListModel::rowAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? &m_rows.at(row) : nullptr;
}

int CompactActionListModel::rowOfAction(int actionIndex) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).action == actionIndex && actionIndex >= 0)
            return int(i);
    }
    return -1;
}

int CompactActionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

Qt::ItemFlags CompactActionListModel::flags(const QModelIndex& index) const
{
    const Row* row = rowAt(index.row());
    if (!row)
        return Qt::NoItemFlags;
    if (row->action < 0)
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant CompactActionListModel::data(const QModelIndex& index, int role) const
{
    const Row* row = rowAt(index.row());
    if (!row)
        return {};
    const QList<CompactPasteActionSection>& sections = m_state.actionSections();
    if (row->section >= sections.size())
        return {};
    const CompactPasteActionSection& section = sections.at(row->section);
    if (role == IsHeaderRole)
        return row->action < 0;
    if (role == ActionIndexRole)
        return row->action;
    if (row->action < 0) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return section.title.value_or(QString());
        return {};
    }
    const QList<CompactPasteAction>& actions = m_state.visibleActions();
    if (row->action >= actions.size())
        return {};
    const CompactPasteAction& action = actions.at(row->action);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return action.title;
    case Qt::AccessibleDescriptionRole:
        return action.subtitle;
    case IdentifierRole:
        return (m_state.selectedActionIndex() == row->action ? QStringLiteral("tolvi.row.")
                                                             : QStringLiteral("tolvi.action."))
            + action.id;
    default:
        return {};
    }
}

CompactActionRowDelegate::CompactActionRowDelegate(const CompactPanelState& state, const CompactActionListModel& model,
                                                   QObject* parent)
    : QStyledItemDelegate(parent),
      m_state(state),
      m_model(model)
{
}

QSize CompactActionRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = option.rect.width() > 0 ? option.rect.width() : 320;
    const CompactActionListModel::Row* row = m_model.rowAt(index.row());
    if (row && row->action < 0)
        return {width, CompactActionSectionHeader::height() + (index.row() > 0 ? sectionGap : 0) + rowGap};
    return {width, CompactPasteActionRow::height() + rowGap};
}

void CompactActionRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    const CompactActionListModel::Row* row = m_model.rowAt(index.row());
    const QList<CompactPasteActionSection>& sections = m_state.actionSections();
    if (!row || row->section >= sections.size())
        return;
    const CompactPasteActionSection& section = sections.at(row->section);
    const DesignContext context = DesignContext::of(option.widget);
    if (row->action < 0) {
        const QRect rect = option.rect.adjusted(sideInset, index.row() > 0 ? sectionGap : 0, -sideInset, -rowGap);
        CompactActionSectionHeader::paint(*painter, QRectF(rect), section.title.value_or(QString()),
                                          section.isRecommended, context);
        return;
    }
    const QList<CompactPasteAction>& actions = m_state.visibleActions();
    if (row->action >= actions.size())
        return;
    const QRect rect = option.rect.adjusted(sideInset, 0, -sideInset, -rowGap);
    CompactPasteActionRow::paint(*painter, QRectF(rect), actions.at(row->action),
                                 m_state.selectedActionIndex() == row->action, section.isRecommended, context);
}

// ---- The list ---------------------------------------------------------------------------

CompactActionList::CompactActionList(CompactPanelState& state, QWidget* parent)
    : QStackedWidget(parent),
      m_state(state)
{
    m_listPage = new QWidget(this);
    auto* layout = new QVBoxLayout(m_listPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_retry = new QPushButton(m_listPage);
    m_retry->setFocusPolicy(Qt::NoFocus);
    m_retry->setIcon(QIcon(SymbolCatalog::pixmap(QStringLiteral("text.viewfinder"), 16,
                                                 DesignContext::of(this).color(ColorToken::electricBlue))));
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> item = m_state.selectedItem())
            m_state.retryOCR(*item);
    });
    auto* retryRow = new QHBoxLayout;
    retryRow->setContentsMargins(16, 8, 16, 0);
    retryRow->addWidget(m_retry);
    retryRow->addStretch(1);
    layout->addLayout(retryRow);

    m_model = new CompactActionListModel(m_state, this);
    auto* list = new CompactPanelParts::ListView(m_listPage);
    m_list = list;
    m_list->setObjectName(QStringLiteral("compactActionList"));
    m_list->setAccessibleName(QStringLiteral("Paste actions"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new CompactActionRowDelegate(m_state, *m_model, m_list));
    list->applyPanelStyle();
    layout->addWidget(m_list, 1);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        const CompactActionListModel::Row* row = m_model->rowAt(index.row());
        if (!row || row->action < 0 || row->action >= m_state.visibleActions().size())
            return;
        // One click selects and performs the action.
        const CompactPasteAction action = m_state.visibleActions().at(row->action);
        m_state.setSelectedActionID(action.id);
        m_state.run(action);
    });

    m_empty = new EmptyHistoryView(QStringLiteral("Nothing selected"), QStringLiteral("Pick a clip first."));
    addWidget(m_listPage);
    addWidget(CompactPanelParts::framedEmptyView(m_empty, this));
}

void CompactActionList::showActions()
{
    m_model->refresh();
    if (m_state.mode() == CompactPanelMode::results)
        return;
    setCurrentIndex(m_state.actionSections().isEmpty() ? 1 : 0);
    const std::optional<ClipboardItem> item = m_state.selectedItem();
    const bool retry = item && m_state.canRetryOCR(*item);
    m_retry->setVisible(retry);
    if (retry)
        m_retry->setText(m_state.retryOCRTitle(*item));
    const int row = m_model->rowOfAction(m_state.selectedActionIndex());
    if (row >= 0) {
        const QModelIndex index = m_model->index(row);
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index, QAbstractItemView::EnsureVisible);
    }
    m_list->viewport()->update();
}

} // namespace tolvi
