#include "Tolvi/clipviews/ClipListModel.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UuidText.h"

#include <algorithm>

namespace tolvi {

ClipListModel::ClipListModel(QObject* parent)
    : QAbstractListModel(parent),
      m_now([] { return ReferenceDate::now(); })
{
}

const ClipboardItem* ClipListModel::itemAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &m_items.at(row < m_gapStart ? row : row + m_gapLength);
}

int ClipListModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (itemAt(row)->id() == id)
            return row;
    }
    return -1;
}

ClipRowInput ClipListModel::rowInput(int row) const
{
    const ClipboardItem* item = itemAt(row);
    if (!item)
        return {};
    if (m_rowInput)
        return m_rowInput(row, *item);
    ClipRowInput input;
    input.isFocused = row == m_focusedRow;
    return input;
}

void ClipListModel::setFocusedRow(int row)
{
    if (row == m_focusedRow)
        return;
    const int previous = m_focusedRow;
    m_focusedRow = row;
    rowChanged(previous);
    rowChanged(row);
}

void ClipListModel::rowChanged(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
}

void ClipListModel::decorationsChanged()
{
    if (rowCount() == 0)
        return;
    emit dataChanged(index(0), index(rowCount() - 1));
}

void ClipListModel::setItems(const QList<ClipboardItem>& items)
{
    if (items.isSharedWith(m_items))
        return;
    // Unchanged clips are copies of the same records: told apart without reading them.
    auto sameClip = [](const ClipboardItem& a, const ClipboardItem& b) {
        return a.sharesDataWith(b) || a.id() == b.id();
    };
    const qsizetype oldCount = m_items.size();
    const qsizetype newCount = items.size();
    qsizetype prefix = 0;
    while (prefix < oldCount && prefix < newCount && sameClip(m_items.at(prefix), items[prefix]))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < oldCount - prefix && suffix < newCount - prefix
           && sameClip(m_items.at(oldCount - 1 - suffix), items[newCount - 1 - suffix]))
        ++suffix;
    const qsizetype removed = oldCount - prefix - suffix;
    const qsizetype inserted = newCount - prefix - suffix;

    if (removed + inserted > largestIncrementalChange) {
        beginResetModel();
        m_items = items;
        endResetModel();
        return;
    }

    // Rows kept at either end: repaint those whose clip changed.
    QList<int> changed;
    for (qsizetype i = 0; i < prefix; ++i) {
        if (!(m_items.at(i) == items[i]))
            changed.append(int(i));
    }
    for (qsizetype i = 0; i < suffix; ++i) {
        if (!(m_items.at(oldCount - 1 - i) == items[newCount - 1 - i]))
            changed.append(int(newCount - 1 - i));
    }

    if (removed > 0) {
        beginRemoveRows({}, int(prefix), int(prefix + removed - 1));
        // The list itself stays as it is (others share it): its rows are read around the gap.
        m_gapStart = prefix;
        m_gapLength = removed;
        endRemoveRows();
    }
    if (inserted > 0) {
        beginInsertRows({}, int(prefix), int(prefix + inserted - 1));
        m_items = items;
        m_gapLength = 0;
        endInsertRows();
    }
    // The same rows now; keep the new list itself, shared with the caller's.
    m_items = items;
    m_gapLength = 0;
    for (int row : changed)
        rowChanged(row);
}

int ClipListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size() - m_gapLength);
}

Qt::ItemFlags ClipListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant ClipListModel::data(const QModelIndex& index, int role) const
{
    const ClipboardItem* item = itemAt(index.row());
    if (!item)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ClipRowText::accessibilityLabel(*item);
    case Qt::AccessibleDescriptionRole: {
        const ClipRowInput input = rowInput(index.row());
        QString value = ClipRowText::accessibilityValue(*item, m_now(), input.isSelectedForBatch,
                                                        input.isRecognizingText, input.ocrStatus);
        // The digit badge is read with the row it belongs to.
        if (input.shortcutNumber)
            value += QStringLiteral(", ") + ClipRowText::shortcutLabel(*input.shortcutNumber);
        return value + QStringLiteral(". ") + ClipRowText::accessibilityHint;
    }
    case Qt::ToolTipRole:
        return ClipRowText::toolTip;
    case IdentifierRole:
        return (index.row() == m_focusedRow ? QStringLiteral("tolvi.row.") : QStringLiteral("tolvi.clip."))
            + UuidText::format(item->id());
    case ItemIDRole:
        return item->id();
    default:
        return {};
    }
}

} // namespace tolvi
