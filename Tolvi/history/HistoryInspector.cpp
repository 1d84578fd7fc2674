#include "Tolvi/history/HistoryInspector.h"

#include "Tolvi/clipviews/ClipRowPresentation.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>
#include <QVBoxLayout>

namespace tolvi {

HistoryInspector::HistoryInspector(HistoryWindowState& state, ThumbnailCache* thumbnails, QWidget* place)
    : QObject(place),
      m_state(state)
{
    auto* layout = qobject_cast<QVBoxLayout*>(place->layout());
    if (!layout) {
        layout = new QVBoxLayout(place);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    // The window gives the place its size; the pane never asks for more.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    const QPointer<HistoryWindowState> weak(&state);
    m_view = new ClipLensView(actions(state), thumbnails, [weak] { return weak ? weak->now() : 0.0; }, place);
    layout->addWidget(m_view);

    connect(&m_state, &HistoryWindowState::lensChanged, this, &HistoryInspector::refresh);
    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &HistoryInspector::refresh);
    connect(&m_state, &HistoryWindowState::queueChanged, this, &HistoryInspector::refresh);
    connect(&m_state, &HistoryWindowState::overlayAvailabilityChanged, this, &HistoryInspector::refresh);
    ClipboardStore& store = m_state.store();
    connect(&store, &ClipboardStore::ocrStatusesChanged, this, &HistoryInspector::refresh);
    connect(&store, &ClipboardStore::ocrInProgressChanged, this, &HistoryInspector::refresh);
    connect(&store, &ClipboardStore::pinboardsChanged, this, &HistoryInspector::refresh);
    refresh();
}

ClipLensView::Input HistoryInspector::input(const HistoryWindowState& state, const ClipboardItem& item)
{
    const ClipboardStore& store = state.store();
    ClipLensView::Input input(item);
    input.pinboards = store.pinboards();
    input.isQueued = state.isQueued(item.id());
    const ClipRecognitionState recognition = ClipRecognitionState::of(store, item);
    input.isRecognizingText = recognition.isRecognizingText;
    input.ocrStatus = recognition.ocrStatus;
    input.canEdit = state.canPresent(HistoryOverlay::quickEdit);
    input.canOpenPreview = state.canPresent(HistoryOverlay::preview);
    return input;
}

ClipLensView::Actions HistoryInspector::actions(HistoryWindowState& state)
{
    const QPointer<HistoryWindowState> weak(&state);
    ClipLensView::Actions actions;
    actions.pasteItem = [weak](const ClipboardItem& item) {
        if (weak && weak->actions().pasteItem)
            weak->actions().pasteItem(item);
    };
    actions.pasteText = [weak](const QString& text) {
        if (weak && weak->actions().pasteText)
            weak->actions().pasteText(text);
    };
    actions.copyItem = [weak](const ClipboardItem& item) {
        if (weak && weak->actions().copyItem)
            weak->actions().copyItem(item);
    };
    actions.copyText = [weak](const QString& text) {
        if (weak && weak->actions().copyText)
            weak->actions().copyText(text);
    };
    actions.editItem = [weak](const ClipboardItem& item) {
        // Only where the window can show the quick editor; otherwise it would report itself
        // blocked with nothing on screen.
        if (weak && !weak->isHistoryInteractionBlocked() && weak->canPresent(HistoryOverlay::quickEdit))
            weak->setEditingItem(item);
    };
    actions.togglePinned = [weak](const ClipboardItem& item) {
        if (weak && weak->actions().togglePinned)
            weak->actions().togglePinned(item);
    };
    actions.togglePinboard = [weak](const Pinboard& board, const ClipboardItem& item) {
        if (weak && weak->actions().togglePinboard)
            weak->actions().togglePinboard(board, item);
    };
    actions.toggleQueue = [weak](const ClipboardItem& item) {
        if (weak)
            weak->toggleQueue(item.id());
    };
    actions.openPreview = [weak](const ClipboardItem& item) {
        if (weak && !weak->isHistoryInteractionBlocked())
            weak->openPreview(item);
    };
    if (state.actions().retryOCR) {
        actions.retryOCR = [weak](const ClipboardItem& item) {
            if (weak && weak->actions().retryOCR)
                weak->actions().retryOCR(item);
        };
    }
    actions.lookUp = [weak](const QUuid& id) -> std::optional<ClipboardItem> {
        return weak ? weak->store().item(id) : std::nullopt;
    };
    return actions;
}

void HistoryInspector::refresh()
{
    // With no clip to inspect the window hides the inspector's place.
    if (const std::optional<ClipboardItem> lens = m_state.lensItem())
        m_view->setInput(input(m_state, *lens));
}

} // namespace tolvi
