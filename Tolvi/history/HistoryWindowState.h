#pragma once

#include "Tolvi/history/HistoryWindowActions.h"
#include "Tolvi/history/MultiPasteChoice.h"
#include "Tolvi/clipviews/NarrowingClipSearch.h"
#include "Tolvi/panels/ClipListFilters.h"
#include "Tolvi/panels/PanelKeyboardCommand.h"
#include "TolviCore/featureflags/FeatureFlags.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QDate>
#include <QObject>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <optional>

class QTimer;

namespace tolvi {

class ClipboardStore;
class UsageMetricsStore;

// The things the history window can open over or beside its content.
enum class HistoryOverlay { preview, quickEdit, newSnippet, boardManagement, clearHistoryConfirmation };

// One entry of the source-application filter: the application's search identifier and its name.
struct SourceAppFilterOption {
    QString id;
    QString title;
    friend bool operator==(const SourceAppFilterOption&, const SourceAppFilterOption&) = default;
};

// The history window's state: what the user typed and chose (search text, filters, selection,
// open overlays, the multi-paste choice) and the values derived from it and from the store.
// Derived lists are computed once per change of the store or of the state, never per read.
// The window's commands on the selection and the queue live here too. Main thread only.
class HistoryWindowState : public QObject {
    Q_OBJECT
public:
    HistoryWindowState(ClipboardStore& store, UsageMetricsStore* usageMetrics, FeatureFlags featureFlags,
                       bool opensNewSnippet, HistoryWindowActions actions, QObject* parent = nullptr);
    ~HistoryWindowState() override;

    // The clock (seconds since 2001-01-01 UTC) and the time zone the date filters count days in.
    void setClock(std::function<double()> now, QTimeZone timeZone = QTimeZone::systemTimeZone());
    double now() const { return m_now(); }
    // Which overlays the window can show; a request for any other is ignored, so the window
    // never reports itself blocked with nothing on screen. None at first.
    void setOverlayAvailability(std::function<bool(HistoryOverlay)> available);
    bool canPresent(HistoryOverlay overlay) const;
    // The day the "today" filter was last counted for; the next local midnight counts again.
    // Invalid while no day-bound filter is chosen.
    QDate filteredDay() const { return m_filteredDay; }

    ClipboardStore& store() const { return m_store; }
    const FeatureFlags& featureFlags() const { return m_featureFlags; }
    const HistoryWindowActions& actions() const { return m_actions; }
    bool opensNewSnippet() const { return m_opensNewSnippet; }

    // View state.
    const QString& query() const { return m_filters.query; }
    void setQuery(const QString& query);
    const QString& filterKey() const { return m_filterKey; }
    void setFilterKey(const QString& key);
    ClipboardSearchContentFilter contentFilter() const { return m_filters.contentFilter; }
    void setContentFilter(ClipboardSearchContentFilter filter);
    ClipboardSearchDateFilter dateFilter() const { return m_filters.dateFilter; }
    void setDateFilter(ClipboardSearchDateFilter filter);
    bool requiresOCRText() const { return m_filters.requiresOCRText; }
    void setRequiresOCRText(bool required);
    const std::optional<QString>& sourceAppIdentifier() const { return m_sourceAppIdentifier; }
    void setSourceAppIdentifier(const std::optional<QString>& identifier);
    const std::optional<QUuid>& selectedItemID() const { return m_selectedItemID; }
    void setSelectedItemID(const std::optional<QUuid>& id);
    const std::optional<ClipboardItem>& previewedItem() const { return m_previewedItem; }
    void setPreviewedItem(const std::optional<ClipboardItem>& item);
    const std::optional<ClipboardItem>& editingItem() const { return m_editingItem; }
    void setEditingItem(const std::optional<ClipboardItem>& item);
    bool isCreatingSnippet() const { return m_isCreatingSnippet; }
    void setCreatingSnippet(bool creating);
    bool isConfirmingClearHistory() const { return m_isConfirmingClearHistory; }
    void setConfirmingClearHistory(bool confirming);
    bool isManagingBoards() const { return m_isManagingBoards; }
    void setManagingBoards(bool managing);
    const QList<QUuid>& queuedItemIDs() const { return m_queue.ids(); }
    void setQueuedItemIDs(const QList<QUuid>& ids);
    const std::optional<QUuid>& pendingScrollItemID() const { return m_pendingScrollItemID; }
    void setPendingScrollItemID(const std::optional<QUuid>& id);
    bool isSearchFocused() const { return m_isSearchFocused; }
    void setSearchFocused(bool focused);

    // Derived values.
    ClipboardSearchCriteria searchCriteria() const;
    const QList<ClipboardItem>& filteredItems() const { return m_filteredItems; }
    QList<QUuid> filteredItemIDs() const;
    QList<QUuid> allItemIDs() const;
    std::optional<Pinboard> selectedPinboard() const;
    ClipboardSearchScope searchScope() const;
    QList<ClipboardItem> queuedItems() const;
    const QList<SourceAppFilterOption>& sourceAppOptions() const;
    // The clip the inspector and the keyboard commands act on, and its row in filteredItems().
    std::optional<ClipboardItem> lensItem() const;
    // The chosen scope's title ("Pinned", the board's name, else "All History") and symbol
    // ("pin.fill", the board's own symbol, else "clock.arrow.circlepath"). A key naming a board
    // that no longer exists reads as all history.
    QString scopeTitle() const;
    QString scopeSystemImage() const;
    // The name of the chosen source application; its identifier when no clip carries it any
    // more; nothing while no application is chosen.
    std::optional<QString> sourceAppFilterTitle() const;
    int lensRow() const { return m_lensRow; }
    bool isHistoryInteractionBlocked() const;
    bool canRetryOCR(const ClipboardItem& item) const;
    bool isQueued(const QUuid& id) const { return m_queue.contains(id); }

    // Commands.
    // The window's content appeared for the first time.
    void appear();
    void normalizeSelection();
    void removeStaleQueuedItems();
    void moveSelection(int offset);
    void openPreview(const ClipboardItem& item);
    void handleEscape();
    void pasteQueuedItems();
    bool saveSnippet(const QString& text);
    // Scope "all" and no content, date, recognised-text or application filter.
    void clearSearchFilters();
    // The "Show All Clips" action of the no-matches state.
    void showAllClips();
    // A click on a row: selects it, nothing more.
    void selectItem(const QUuid& id);
    // A keyboard command that reached the window.
    void handleCommand(PanelKeyboardCommand command);
    // Asks for the clear-history confirmation (shown only where the window can show it).
    void requestClearHistory();
    // Computes the filtered clips again with the current time (the window is shown again).
    void refresh();
    // Whether the window is on screen (so at first). Out of sight, a change of the history only
    // marks the derived values as out of date (the multi-paste choice and the previewed clip
    // still follow it), so that a copy costs a hidden window nothing; they are computed again
    // when the window comes back in sight.
    void setInSight(bool inSight);
    bool isInSight() const { return m_inSight; }

    // ---- Multi-paste ------------------------------------------------------------------------
    // Adds the clip at the end of the choice, or takes every occurrence of it out. A clip that
    // is not in the history is never added.
    void toggleQueue(const QUuid& id);
    // The row's multi-paste mark: the clip becomes the inspected one, then toggleQueue().
    void toggleQueueFromRowMark(const QUuid& id);
    // At least one clip is visible and every visible clip is chosen.
    bool isEveryVisibleItemQueued() const;
    // Takes the visible clips out of the choice when all of them are in it (clips chosen under
    // other filters stay chosen); otherwise adds the visible clips not yet chosen, in list
    // order, after the ones chosen before. Does nothing while no clip is visible.
    void toggleVisibleSelection();
    void clearQueue();
    // How many clips queuedItems() gives, without building them.
    qsizetype queuedItemCount() const;
    // Clears the query and every filter, then selects the clip and scrolls the list to it.
    void showInAllHistory(const QUuid& id);

signals:
    // The query or a filter changed.
    void criteriaChanged();
    // The window can show other overlays than before (canPresent may answer differently).
    void overlayAvailabilityChanged();
    // The filtered clips were computed anew (their list may or may not differ).
    void filteredItemsChanged();
    // The lens clip or its row changed.
    void lensChanged();
    void selectionChanged();
    void queueChanged();
    void overlaysChanged();
    void interactionBlockedChanged(bool blocked);
    void searchFocusChanged(bool focused);
    void pendingScrollChanged();
    // An open editor overlay is asked to close (it may ask about unsaved text first).
    void dismissOverlayRequested();

private:
    void filtersUpdated(bool changed);
    void recompute();
    // recompute(), or only marking the derived values as out of date while out of sight.
    void recomputeOrDefer();
    QList<ClipboardItem> filtered(const ClipboardSearchCriteria& criteria, double now);
    void updateLens();
    void overlaysUpdated();
    void storeItemsChanged();
    void followPreviewedItem();
    int rowOf(const QUuid& id) const;
    void scheduleDayChange();
    void dayChangeTimerFired();

    ClipboardStore& m_store;
    UsageMetricsStore* m_usageMetrics;
    FeatureFlags m_featureFlags;
    bool m_opensNewSnippet;
    HistoryWindowActions m_actions;
    std::function<double()> m_now;
    QTimeZone m_timeZone;
    std::function<bool(HistoryOverlay)> m_overlayAvailable;
    // Wakes the state at the next local midnight while the list is filtered to one day.
    QTimer* m_dayChangeTimer = nullptr;
    QDate m_filteredDay;

    ClipListFilters m_filters;
    QString m_filterKey = QStringLiteral("all");
    std::optional<QString> m_sourceAppIdentifier;
    std::optional<QUuid> m_selectedItemID;
    std::optional<ClipboardItem> m_previewedItem;
    std::optional<ClipboardItem> m_editingItem;
    bool m_isCreatingSnippet = false;
    bool m_isConfirmingClearHistory = false;
    bool m_isManagingBoards = false;
    std::optional<QUuid> m_pendingScrollItemID;
    bool m_isSearchFocused = false;

    NarrowingClipSearch m_search;
    quint64 m_storeGeneration = 0;

    bool m_inSight = true;
    bool m_isOutOfDate = false;

    QList<ClipboardItem> m_filteredItems;
    int m_lensRow = -1;
    std::optional<QUuid> m_lensID;
    bool m_blocked = false;
    mutable std::optional<QList<SourceAppFilterOption>> m_sourceAppOptions;

    MultiPasteChoice m_queue;
};

} // namespace tolvi
