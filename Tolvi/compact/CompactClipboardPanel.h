#pragma once

#include "Tolvi/compact/CompactActionList.h"
#include "Tolvi/compact/CompactEditorPage.h"
#include "Tolvi/compact/CompactFilterMenu.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/compact/CompactResultList.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QMenu;
class QListView;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace tolvi {

class ClipTextEditor;
class CompactClipPreview;
class EmptyHistoryView;
class ThumbnailCache;

namespace CompactPanelParts {
class LineLabel;
}

// The compact panel's content: the top bar of each mode (search field with the filter menu,
// the action header, the editor header), the places of the storage and paste-queue notices, and
// the result list, the action list or the editor under them. It shows a CompactPanelState and
// turns the user's input into its operations; keyboard commands reach it through the panel
// command bus, posted for `panel`.
class CompactClipboardPanel : public QWidget {
    Q_OBJECT
public:
    // Makes the full-size preview of a clip, shown over the panel; `close` hides it again.
    using PreviewFactory = std::function<QWidget*(const ClipboardItem& item, std::function<void()> close,
                                                  QWidget* parent)>;

    CompactClipboardPanel(CompactPanelState& state, ThumbnailCache* thumbnails, QWidget* panel,
                          QWidget* parent = nullptr);
    ~CompactClipboardPanel() override;

    CompactPanelState& state() const { return m_state; }
    // Where the full-size preview comes from; none: the panel offers no preview.
    void setPreviewFactory(PreviewFactory factory);
    // Where the storage notice (every mode) and the paste-queue notice (not while editing or
    // previewing) go.
    QWidget* storageNoticePlace() const { return m_storageNoticePlace; }
    QWidget* queueNoticePlace() const { return m_queueNoticePlace; }

    QLineEdit* searchField() const { return m_search; }
    // The "Return" key cap beside the search field, shown while a clip is selected.
    QWidget* returnHint() const { return m_returnHint; }
    QToolButton* filterButton() const { return m_filterMenu; }
    QListView* resultList() const { return m_results->list(); }
    QListView* actionList() const { return m_actions->list(); }
    CompactClipListModel& resultModel() const { return m_results->model(); }
    CompactActionListModel& actionModel() const { return m_actions->model(); }
    // "No clipboard history" and "No matches".
    EmptyHistoryView* resultsEmptyView() const { return m_results->emptyView(); }
    EmptyHistoryView* noMatchesView() const { return m_results->noMatchesView(); }
    EmptyHistoryView* actionsEmptyView() const { return m_actions->emptyView(); }
    QPushButton* retryButton() const { return m_actions->retryButton(); }
    CompactEditorPage& editorPage() const { return *m_editorPage; }
    // The editor gives back the text as stored where the user did not touch it: read it with
    // storedText().
    ClipTextEditor* editor() const { return m_editorPage->editor(); }
    ClipTextEditor* originalText() const { return m_editorPage->originalText(); }
    // The note shown instead of a text too long to edit here.
    QLabel* longTextNote() const { return m_editorPage->longTextNote(); }
    QLabel* editorStatusLabel() const { return m_editorPage->statusLabel(); }
    QAbstractButton* saveButton() const { return m_editorPage->saveButton(); }
    QAbstractButton* copyButton() const { return m_editorPage->copyButton(); }
    QPushButton* pasteButton() const { return m_editorPage->pasteButton(); }
    QList<QAbstractButton*> aiButtons() const { return m_editorPage->aiButtons(); }
    QAbstractButton* editedTabButton() const { return m_editorPage->editedTabButton(); }
    QAbstractButton* originalTabButton() const { return m_editorPage->originalTabButton(); }
    QMessageBox* discardConfirmation() const { return m_confirmation; }
    QWidget* previewOverlay() const { return m_preview; }
    bool isShowingResultList() const;
    bool isShowingActionList() const;
    // The filter menu as it opens now (rebuilt from the state every time).
    QMenu* makeFilterMenu(QWidget* parent) { return m_filterMenu->makeMenu(parent); }

    // Shows the notice places that hold a notice (after one was put in).
    void updateNoticePlaces() { showNotices(); }
    // The panel was ordered out: an open confirmation goes (the draft stays for the next showing).
    void panelHidden();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildSearchRow();
    QWidget* buildActionHeader();
    QWidget* buildEditorHeader();
    void showMode();
    void showFilteredItems();
    void showSelection();
    void showActionHeader(const std::optional<ClipboardItem>& item);
    void showEditorTitle();
    void showPreview();
    void showNotices();
    void showFilterState();
    void presentDiscardConfirmation(bool presented);

    CompactPanelState& m_state;
    ThumbnailCache* m_thumbnails;
    QPointer<QWidget> m_panel;
    PreviewFactory m_previewFactory;

    QWidget* m_body = nullptr;
    QStackedWidget* m_topBar = nullptr;
    QWidget* m_storageNoticePlace = nullptr;
    QWidget* m_queueNoticePlace = nullptr;
    QStackedWidget* m_content = nullptr;
    QLineEdit* m_search = nullptr;
    CompactFilterMenu* m_filterMenu = nullptr;
    QWidget* m_returnHint = nullptr;
    CompactClipPreview* m_actionPreview = nullptr;
    QLabel* m_actionEyebrow = nullptr;
    CompactPanelParts::LineLabel* m_actionSummary = nullptr;
    CompactPanelParts::LineLabel* m_editorTitle = nullptr;
    CompactResultList* m_results = nullptr;
    CompactActionList* m_actions = nullptr;
    CompactEditorPage* m_editorPage = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QWidget> m_preview;
    // Where the keyboard focus goes back to when the preview closes.
    QPointer<QWidget> m_focusBeforePreview;
    std::optional<ClipboardItem> m_headerItem;
};

} // namespace tolvi
