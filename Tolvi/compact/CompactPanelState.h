#pragma once

#include "Tolvi/compact/CompactPasteAction.h"
#include "Tolvi/clipviews/NarrowingClipSearch.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "Tolvi/panels/ClipListFilters.h"
#include "Tolvi/panels/CompactKeyboardCommand.h"
#include "TolviCore/ai/AIAction.h"
#include "TolviCore/ai/AIResult.h"
#include "TolviCore/featureflags/FeatureFlags.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ClipboardTextDraft.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <optional>

namespace tolvi {

class ClipboardStore;
class UsageMetricsStore;

// What the compact panel is doing: finding a clip, choosing how to paste it, or editing its text.
enum class CompactPanelMode { results, actions, editor };

// Which version of the text the editor shows.
enum class CompactEditorTab { original, edited };

// Every operation that leaves the compact panel, supplied by its controller. An empty
// `retryOCR` means text recognition cannot be asked for again; an empty `runAIAction` runs nothing.
struct CompactPanelActions {
    std::function<void(const ClipboardItem&)> pasteItem;
    std::function<void(const QString&)> pasteText;
    std::function<void(const ClipboardItem&)> copyItem;
    std::function<void(const QString&)> copyText;
    // Runs the action on the text; `done` is called on `receiver`'s thread, never after it is gone.
    std::function<void(const AIAction&, const QString&, QObject* receiver, std::function<void(AIResult)> done)>
        runAIAction;
    std::function<void(CompactPanelMode)> setPanelMode;
    std::function<void(bool)> setModalInteraction;
    std::function<void()> closePanel;
    std::function<void(const ClipboardItem&)> retryOCR;
};

// The compact panel's state without any widget: the query and filters, the mode, the selected
// clip and action, the editor's draft and the AI run in flight, with the values derived from them
// and from the store. Derived values are worked out once per change, never per read; the action
// catalogue only while the action list or the editor needs it. Main thread only.
class CompactPanelState : public QObject {
    Q_OBJECT
public:
    CompactPanelState(ClipboardStore& store, UsageMetricsStore* usageMetrics, FeatureFlags featureFlags,
                      CompactPanelActions actions, QObject* parent = nullptr);
    ~CompactPanelState() override;

    // The clock (seconds since 2001-01-01 UTC) and the time zone the date filters count days in.
    void setClock(std::function<double()> now, QTimeZone timeZone = QTimeZone::systemTimeZone());
    double now() const { return m_now(); }
    // Whether the full-size preview can be shown; while it cannot, nothing offers or opens it.
    void setPreviewAvailable(bool available);
    bool isPreviewAvailable() const { return m_previewAvailable; }

    ClipboardStore& store() const { return m_store; }
    const FeatureFlags& featureFlags() const { return m_featureFlags; }
    const CompactPanelActions& actions() const { return m_actions; }

    // View state.
    const QString& query() const { return m_filters.query; }
    void setQuery(const QString& query);
    ClipboardSearchContentFilter contentFilter() const { return m_filters.contentFilter; }
    void setContentFilter(ClipboardSearchContentFilter filter);
    ClipboardSearchDateFilter dateFilter() const { return m_filters.dateFilter; }
    void setDateFilter(ClipboardSearchDateFilter filter);
    bool requiresOCRText() const { return m_filters.requiresOCRText; }
    void setRequiresOCRText(bool required);
    CompactPanelMode mode() const { return m_mode; }
    const std::optional<QUuid>& selectedItemID() const { return m_selectedItemID; }
    // A click on a row: selects it, nothing more.
    void setSelectedItemID(const std::optional<QUuid>& id);
    const std::optional<QUuid>& keyboardScrollTargetItemID() const { return m_scrollTargetID; }
    const std::optional<QString>& selectedActionID() const { return m_selectedActionID; }
    void setSelectedActionID(const std::optional<QString>& id);
    const std::optional<ClipboardItem>& previewedItem() const { return m_previewedItem; }
    const std::optional<QUuid>& editedItemID() const { return m_editedItemID; }
    const ClipboardTextDraft& draft() const { return m_draft; }
    // The user typed in the editor.
    void setEditedText(const QString& text);
    // A text longer than this (in UTF-16 code units) is not laid out in the editor: laying out
    // and counting it would hold the panel up for seconds. The editor then says so instead of
    // showing it, and Copy and Paste use the text whole, as stored. So is a text of more lines
    // than the views show (ShownText::lineLimit).
    static constexpr qsizetype maximumEditableLength = 500'000;
    static bool isTooLongToEdit(const QString& text);
    // The draft's text came in too long to edit (see maximumEditableLength).
    bool isDraftTooLongToEdit() const { return m_draftTooLongToEdit; }
    CompactEditorTab editorTab() const { return m_editorTab; }
    void setEditorTab(CompactEditorTab tab);
    const std::optional<QString>& runningAIActionID() const { return m_runningAIActionID; }
    const std::optional<QString>& aiErrorMessage() const { return m_aiErrorMessage; }
    bool isDiscardConfirmationPresented() const { return m_isDiscardConfirmationPresented; }

    // Derived values.
    ClipboardSearchCriteria searchCriteria() const;
    bool hasActiveFilters() const;
    const QList<ClipboardItem>& filteredItems() const { return m_filteredItems; }
    QList<QUuid> filteredItemIDs() const;
    // The selected clip (the first filtered one when none is chosen) and its row.
    std::optional<ClipboardItem> selectedItem() const;
    int selectedRow() const { return m_selectedRow; }
    const QList<CompactPasteActionSection>& actionSections() const;
    const QList<CompactPasteAction>& visibleActions() const;
    QStringList visibleActionIDs() const;
    std::optional<CompactPasteAction> selectedAction() const;
    int selectedActionIndex() const;
    QString editorTitle() const;
    std::optional<AIAction> runningAIAction() const;
    QString editorStatus() const;
    // The status shows an error (in red).
    bool editorStatusIsError() const;
    bool canSaveEditedText() const;
    // An AI action can start on the draft now.
    bool canRunAIInEditor() const;
    int panelHeight() const;
    bool canRetryOCR(const ClipboardItem& item) const;
    // "Read Image Text", or "Retry Text Recognition" once recognition left a status.
    QString retryOCRTitle(const ClipboardItem& item) const;
    // The summary line of a clip in the headers: "Image <size>" or the text on one line.
    static QString summary(const ClipboardItem& item);
    // The panel's own test for code, which picks the editor's monospaced font.
    static bool looksLikeCode(const QString& text);

    // Operations.
    void appear();
    void accept();
    void openActions();
    void openEditor();
    void togglePreview();
    void openPreview(const ClipboardItem& item);
    void closePreview();
    void cancel();
    void showResults();
    void requestLeaveEditor();
    // The two answers of the discard confirmation, and its dismissal without an answer (the
    // panel was hidden): the draft stays.
    void discardChanges();
    void keepEditing();
    void showAllClips();
    void clearFilters();
    void moveClipSelection(int delta);
    void moveActionSelection(int delta);
    void run(const CompactPasteAction& action);
    void runAIFromActions(const AIAction& action, const ClipboardItem& item, const QString& text);
    void runAIInEditor(const AIAction& action);
    void saveEditedText();
    void copyEditedText();
    void pasteEditedText();
    void retryOCR(const ClipboardItem& item);
    // A keyboard command that reached the panel.
    void handleCommand(CompactKeyboardCommand command);
    // Works out the filtered clips again with the current time (the panel is shown again).
    void refresh();
    // Whether the panel is on screen (so at first). Out of sight, a change of the history only
    // marks what the panel shows as out of date, so that a copy costs a hidden panel nothing;
    // it follows the history again when it comes back in sight (or is refreshed).
    void setInSight(bool inSight);
    bool isInSight() const { return m_inSight; }
    // Opens the editor on a draft kept from an earlier run: the text as it was saved and the
    // text as typed, for that clip (which may have left the history since; Save then says so).
    // Nothing happens over typed text. False when nothing happened.
    bool restoreDraft(const std::optional<QUuid>& clipID, const QString& originalText, const QString& editedText);
    // The typed text not saved: only while editing.
    bool holdsUnsavedText() const;

signals:
    void criteriaChanged();
    void filteredItemsChanged();
    void selectionChanged();
    void scrollTargetChanged();
    void modeChanged(tolvi::CompactPanelMode mode);
    // The catalogue or the selected action changed.
    void actionsChanged();
    // The draft was replaced (editor opened, AI result); not sent for the user's own typing.
    void draftReplaced();
    void editorTabChanged();
    // The status line, the AI buttons or the Save button may show differently.
    void editorStatusChanged();
    void previewChanged();
    void discardConfirmationChanged(bool presented);
    void panelHeightChanged(int height);
    // Focus moves, one turn of the event loop after the change that asks for them.
    void searchFocusRequested();
    void editorFocusRequested();

private:
    void filtersUpdated(bool changed);
    void recompute();
    QList<ClipboardItem> filtered(const ClipboardSearchCriteria& criteria, double now);
    int rowOfSelection() const;
    void updateSelectedRow();
    void invalidateActions();
    void normalizeSelection();
    void normalizeActionSelection();
    void invalidateAIRequest();
    void updateModalInteraction();
    void setMode(CompactPanelMode mode);
    void setDiscardConfirmation(bool presented);
    void leaveEditorToActions();
    void replaceDraft(const QString& text, const std::optional<QString>& editedText = std::nullopt);
    // The draft's edited text was replaced whole (a new draft, an AI result).
    void editedTextReplaced();
    void storeItemsChanged();
    // What a change of the history changes in the panel.
    void followStore();
    void notifyHeight();
    bool isGuarded() const;
    void requestSearchFocus();
    void requestEditorFocus();

    ClipboardStore& m_store;
    UsageMetricsStore* m_usageMetrics;
    FeatureFlags m_featureFlags;
    CompactPanelActions m_actions;
    std::function<double()> m_now;
    QTimeZone m_timeZone;
    bool m_previewAvailable = false;

    ClipListFilters m_filters;
    CompactPanelMode m_mode = CompactPanelMode::results;
    std::optional<QUuid> m_selectedItemID;
    std::optional<QUuid> m_scrollTargetID;
    std::optional<QString> m_selectedActionID;
    std::optional<ClipboardItem> m_previewedItem;
    std::optional<QUuid> m_editedItemID;
    ClipboardTextDraft m_draft;
    CompactEditorTab m_editorTab = CompactEditorTab::edited;
    std::optional<QString> m_runningAIActionID;
    QUuid m_aiRequestID = QUuid::createUuid();
    std::optional<QString> m_aiErrorMessage;
    // Why the last save did not happen; cleared by the next save or a new draft.
    std::optional<QString> m_saveIssue;
    bool m_draftTooLongToEdit = false;
    // The edited text's count, followed through each edit; the saved text's count.
    mutable IncrementalCharacterCount m_editedCount;
    qsizetype m_originalCount = 0;
    bool m_isDiscardConfirmationPresented = false;

    QList<ClipboardItem> m_filteredItems;
    int m_selectedRow = -1;
    int m_lastHeight = -1;

    // The catalogue of the selected clip, built on first need after the clip or the store changed.
    mutable std::optional<QList<CompactPasteActionSection>> m_sections;
    mutable QList<CompactPasteAction> m_visibleActions;

    NarrowingClipSearch m_search;
    quint64 m_storeGeneration = 0;
    bool m_inSight = true;
    bool m_isOutOfDate = false;
};

} // namespace tolvi
