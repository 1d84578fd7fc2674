#include "Tolvi/compact/CompactRows.h"

#include "Tolvi/compact/CompactActionSectionHeader.h"
#include "Tolvi/compact/CompactClipPreview.h"
#include "Tolvi/compact/CompactClipboardRow.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/compact/CompactPasteActionRow.h"
#include "TolviCore/model/UuidText.h"

#include <QWidget>

namespace tolvi {

// ---- Result list ------------------------------------------------------------------------

QVariant CompactClipListModel::data(const QModelIndex& index, int role) const
{
    switch (role) {
    case IdentifierRole: {
        const ClipboardItem* item = itemAt(index.row());
        if (!item)
            return {};
        return (index.row() == m_selectedRow ? QStringLiteral("tolvi.row.") : QStringLiteral("tolvi.clip."))
            + UuidText::format(item->id());
    }
    case Qt::ToolTipRole:
        return itemAt(index.row()) ? QVariant(toolTip) : QVariant();
    case Qt::AccessibleDescriptionRole: {
        const ClipboardItem* item = itemAt(index.row());
        if (!item)
            return {};
        const ClipRowInput input = rowInput(index.row());
        return ClipRowText::accessibilityValue(*item, now(), false, input.isRecognizingText, input.ocrStatus)
            + QStringLiteral(". ") + accessibilityHint;
    }
    default:
        return ClipListModel::data(index, role);
    }
}

CompactClipRowDelegate::CompactClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QStyledItemDelegate(parent),
      m_model(model),
      m_thumbnails(thumbnails)
{
}

QSize CompactClipRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 320, CompactClipboardRow::height() + rowGap};
}

void CompactClipRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipboardItem* item = m_model.itemAt(index.row());
    if (!item)
        return;
    const QWidget* widget = option.widget;
    const QRect rect = option.rect.adjusted(sideInset, rowGap / 2, -sideInset, -(rowGap - rowGap / 2));
    const ClipboardRow::Thumbnail thumbnail =
        CompactClipPreview::thumbnailFor(m_thumbnails, *item, widget ? widget->devicePixelRatioF() : 1.0);
    CompactClipboardRow::paint(*painter, QRectF(rect), *item, index.row() + 1, m_model.rowInput(index.row()),
                               thumbnail, m_model.now(), DesignContext::of(widget));
}

// ---- Action list ------------------------------------------------------------------------

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

} // namespace tolvi
