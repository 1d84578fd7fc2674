#include "Tolvi/compact/CompactResultList.h"

#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/compact/CompactClipPreview.h"
#include "Tolvi/compact/CompactClipboardRow.h"
#include "Tolvi/compact/CompactPanelParts.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QListView>
#include <QMenu>

namespace tolvi {

using TolviDesign::ColorToken;

// ---- Rows -------------------------------------------------------------------------------

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

// ---- The list ---------------------------------------------------------------------------

CompactResultList::CompactResultList(CompactPanelState& state, ThumbnailCache* thumbnails, QWidget* parent)
    : QStackedWidget(parent),
      m_state(state)
{
    m_model = new CompactClipListModel(this);
    m_model->setClock([this] { return m_state.now(); });
    m_model->setRowInputProvider([this](int row, const ClipboardItem& item) {
        ClipRowInput input;
        input.shortcutNumber = row + 1;
        input.isFocused = row == m_state.selectedRow();
        const ClipRecognitionState recognition = ClipRecognitionState::of(m_state.store(), item);
        input.isRecognizingText = recognition.isRecognizingText;
        input.ocrStatus = recognition.ocrStatus;
        return input;
    });
    auto* list = new CompactPanelParts::ListView(this);
    m_list = list;
    m_list->setObjectName(QStringLiteral("compactResultList"));
    m_list->setAccessibleName(QStringLiteral("Clipboard history"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new CompactClipRowDelegate(*m_model, thumbnails, m_list));
    // Every row has one height, so a list of 100,000 clips lays out without measuring.
    m_list->setUniformItemSizes(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->applyPanelStyle();
    connect(m_list, &QListView::pressed, this, [this](const QModelIndex& index) {
        if (const ClipboardItem* item = m_model->itemAt(index.row()))
            m_state.setSelectedItemID(item->id());
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, &CompactResultList::openMenu);

    m_empty = new EmptyHistoryView(QStringLiteral("No clipboard history"),
                                   QStringLiteral("Copied text and images will appear here."));
    m_noMatches = new EmptyHistoryView(QStringLiteral("No matches"),
                                       QStringLiteral("Clear the search and filters to see all clips."),
                                       QStringLiteral("Show All Clips"), QStringLiteral("xmark.circle"),
                                       [this] { m_state.showAllClips(); }, true);
    m_emptyPage = CompactPanelParts::framedEmptyView(m_empty, this);
    m_noMatchesPage = CompactPanelParts::framedEmptyView(m_noMatches, this);
    addWidget(m_list);
    addWidget(m_emptyPage);
    addWidget(m_noMatchesPage);

    // Recognition states and decoded tiles only change how rows paint.
    const ClipboardStore& store = m_state.store();
    connect(&store, &ClipboardStore::ocrStatusesChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    connect(&store, &ClipboardStore::ocrInProgressChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    if (thumbnails)
        connect(thumbnails, &ThumbnailCache::thumbnailReady, m_list->viewport(), qOverload<>(&QWidget::update));
}

bool CompactResultList::isShowingList() const
{
    return currentWidget() == m_list;
}

void CompactResultList::showFilteredItems()
{
    m_model->setItems(m_state.filteredItems());
    // The whole history decides first: an empty history says so whatever the query.
    if (m_state.store().itemCount() == 0)
        setCurrentWidget(m_emptyPage);
    else if (m_state.filteredItems().isEmpty())
        setCurrentWidget(m_noMatchesPage);
    else
        setCurrentWidget(m_list);
}

void CompactResultList::showSelection()
{
    const int row = m_state.selectedRow();
    const int previous = m_model->selectedRow();
    if (row != previous) {
        m_model->setSelectedRow(row);
        for (const int changed : {previous, row}) {
            if (changed >= 0 && changed < m_model->rowCount())
                m_list->viewport()->update(m_list->visualRect(m_model->index(changed)));
        }
    } else if (row >= 0) {
        // The same row may hold another clip now.
        m_list->viewport()->update(m_list->visualRect(m_model->index(row)));
    }
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    // The rows draw their own highlight; the list's current row is what assistive technologies
    // and the key routing read.
    if (m_list->currentIndex() != index)
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void CompactResultList::scrollToTarget()
{
    const std::optional<QUuid> id = m_state.keyboardScrollTargetItemID();
    if (!id)
        return;
    const int row = m_model->rowOf(*id);
    if (row >= 0)
        m_list->scrollTo(m_model->index(row), QAbstractItemView::EnsureVisible);
}

void CompactResultList::openMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    const ClipboardItem* item = m_model->itemAt(index.row());
    if (!item || !m_state.canRetryOCR(*item))
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QUuid id = item->id();
    menu->addAction(QIcon(SymbolCatalog::pixmap(QStringLiteral("text.viewfinder"), 16,
                                                DesignContext::of(this).color(ColorToken::ink), devicePixelRatioF())),
                    m_state.retryOCRTitle(*item), this, [this, id] {
                        // The history may have changed while the menu was open.
                        if (const std::optional<ClipboardItem> current = m_state.store().item(id))
                            m_state.retryOCR(*current);
                    });
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

} // namespace tolvi
