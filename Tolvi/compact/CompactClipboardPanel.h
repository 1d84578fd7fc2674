#pragma once

#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/inspector/LooksLikeCode.h"

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
class QVBoxLayout;

namespace tolvi {

class ClipTextEditor;
class CompactActionListModel;
class CompactClipListModel;
class EmptyHistoryView;
class ThumbnailCache;

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
    QToolButton* filterButton() const { return m_filterButton; }
    QListView* resultList() const { return m_results; }
    QListView* actionList() const { return m_actions; }
    CompactClipListModel& resultModel() const { return *m_resultModel; }
    CompactActionListModel& actionModel() const { return *m_actionModel; }
    // "No clipboard history" and "No matches".
    EmptyHistoryView* resultsEmptyView() const { return m_resultsEmpty; }
    EmptyHistoryView* noMatchesView() const { return m_noMatches; }
    EmptyHistoryView* actionsEmptyView() const { return m_actionsEmpty; }
    QPushButton* retryButton() const { return m_retry; }
    // The editor gives back the text as stored where the user did not touch it: read it with
    // storedText().
    ClipTextEditor* editor() const { return m_editor; }
    ClipTextEditor* originalText() const { return m_original; }
    // The note shown instead of a text too long to edit here.
    QLabel* longTextNote() const { return m_longTextNote; }
    QLabel* editorStatusLabel() const { return m_status; }
    QAbstractButton* saveButton() const { return m_save; }
    QAbstractButton* copyButton() const { return m_copy; }
    QPushButton* pasteButton() const { return m_paste; }
    QList<QAbstractButton*> aiButtons() const { return m_aiButtons; }
    QAbstractButton* editedTabButton() const { return m_editedTab; }
    QAbstractButton* originalTabButton() const { return m_originalTab; }
    QMessageBox* discardConfirmation() const { return m_confirmation; }
    QWidget* previewOverlay() const { return m_preview; }
    bool isShowingResultList() const;
    bool isShowingActionList() const;
    // The filter menu as it opens now (rebuilt from the state every time).
    QMenu* makeFilterMenu(QWidget* parent);

    // Shows the notice places that hold a notice (after one was put in).
    void updateNoticePlaces() { showNotices(); }
    // The panel was ordered out: an open confirmation goes (the draft stays for the next showing).
    void panelHidden();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildSearchRow();
    QWidget* buildActionHeader();
    QWidget* buildEditorHeader();
    QWidget* buildResultsPage();
    QWidget* buildActionsPage();
    QWidget* buildEditorPage();
    void styleList(QListView* list);
    void showMode();
    void showFilteredItems();
    void showSelection();
    void showActionHeader(const std::optional<ClipboardItem>& item);
    void showActions();
    void showDraft();
    void showEditorTab();
    void showEditorStatus();
    void showPreview();
    void showNotices();
    void showFilterState();
    void scrollToTarget();
    void presentDiscardConfirmation(bool presented);
    void openResultMenu(const QPoint& position);

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
    QToolButton* m_filterButton = nullptr;
    QWidget* m_returnHint = nullptr;
    QWidget* m_actionPreview = nullptr;
    QLabel* m_actionEyebrow = nullptr;
    QWidget* m_actionSummary = nullptr;
    QWidget* m_editorTitle = nullptr;
    QStackedWidget* m_resultsStack = nullptr;
    QListView* m_results = nullptr;
    CompactClipListModel* m_resultModel = nullptr;
    EmptyHistoryView* m_resultsEmpty = nullptr;
    EmptyHistoryView* m_noMatches = nullptr;
    QWidget* m_resultsEmptyPage = nullptr;
    QWidget* m_noMatchesPage = nullptr;
    QStackedWidget* m_actionsStack = nullptr;
    QWidget* m_actionsListPage = nullptr;
    QListView* m_actions = nullptr;
    CompactActionListModel* m_actionModel = nullptr;
    EmptyHistoryView* m_actionsEmpty = nullptr;
    QPushButton* m_retry = nullptr;
    QAbstractButton* m_originalTab = nullptr;
    QAbstractButton* m_editedTab = nullptr;
    QStackedWidget* m_textStack = nullptr;
    ClipTextEditor* m_editor = nullptr;
    ClipTextEditor* m_original = nullptr;
    QLabel* m_longTextNote = nullptr;
    LooksLikeCodeTracker m_editedLooksLikeCode;
    QLabel* m_status = nullptr;
    QList<QAbstractButton*> m_aiButtons;
    QAbstractButton* m_save = nullptr;
    QAbstractButton* m_copy = nullptr;
    QPushButton* m_paste = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QWidget> m_preview;
    // Where the keyboard focus goes back to when the preview closes.
    QPointer<QWidget> m_focusBeforePreview;
    std::optional<ClipboardItem> m_headerItem;
    bool m_syncingCurrent = false;
};

} // namespace tolvi
