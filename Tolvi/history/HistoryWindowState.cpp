#include "Tolvi/history/HistoryWindowState.h"

#include "Tolvi/inspector/ClipQuickLook.h"
#include "Tolvi/panels/OCRRetry.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QCollator>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tolvi {

namespace {
const QString pinboardKeyPrefix = QStringLiteral("pinboard:");
// Recent results kept for other queries over the same clips and filters.
// The longest wait for the next local midnight. Timers do not count time the computer spends
// asleep, so a long wait could wake far too late; a short one only looks at the date again.
constexpr qint64 dayChangeCheckLimitMs = 10 * 60 * 1000;
// The shortest wait, should a timer wake before midnight.
constexpr qint64 dayChangeCheckMinimumMs = 50;

std::optional<QDateTime> localDateTime(double referenceSeconds, const QTimeZone& timeZone)
{
    const double ms = std::floor(ReferenceDate::toUnixSeconds(referenceSeconds) * 1000.0);
    // Beyond what QDateTime can place (about 292 million years either way).
    if (!std::isfinite(ms) || std::fabs(ms) > 9.0e15)
        return std::nullopt;
    QDateTime dateTime = QDateTime::fromMSecsSinceEpoch(qint64(ms), timeZone);
    if (!dateTime.isValid())
        return std::nullopt;
    return dateTime;
}
} // namespace

HistoryWindowState::HistoryWindowState(ClipboardStore& store, UsageMetricsStore* usageMetrics,
                                       FeatureFlags featureFlags, bool opensNewSnippet, HistoryWindowActions actions,
                                       QObject* parent)
    : QObject(parent),
      m_store(store),
      m_usageMetrics(usageMetrics),
      m_featureFlags(std::move(featureFlags)),
      m_opensNewSnippet(opensNewSnippet),
      m_actions(std::move(actions)),
      m_now([] { return ReferenceDate::now(); }),
      m_timeZone(QTimeZone::systemTimeZone()),
      m_queue(store)
{
    m_dayChangeTimer = new QTimer(this);
    m_dayChangeTimer->setSingleShot(true);
    connect(m_dayChangeTimer, &QTimer::timeout, this, &HistoryWindowState::dayChangeTimerFired);
    connect(&m_store, &ClipboardStore::itemsChanged, this, &HistoryWindowState::storeItemsChanged);
    // A deleted board can make the scope fall back to everything.
    connect(&m_store, &ClipboardStore::pinboardsChanged, this, [this] {
        ++m_storeGeneration;
        recomputeOrDefer();
    });
    recompute();
}

HistoryWindowState::~HistoryWindowState() = default;

void HistoryWindowState::setClock(std::function<double()> now, QTimeZone timeZone)
{
    m_now = std::move(now);
    m_timeZone = std::move(timeZone);
    recompute();
}

void HistoryWindowState::setOverlayAvailability(std::function<bool(HistoryOverlay)> available)
{
    m_overlayAvailable = std::move(available);
    emit overlayAvailabilityChanged();
}

bool HistoryWindowState::canPresent(HistoryOverlay overlay) const
{
    return m_overlayAvailable && m_overlayAvailable(overlay);
}

// ---- View state -------------------------------------------------------------------------

void HistoryWindowState::setQuery(const QString& query)
{
    filtersUpdated(m_filters.setQuery(query));
}

void HistoryWindowState::setFilterKey(const QString& key)
{
    const bool changed = key != m_filterKey;
    m_filterKey = key;
    filtersUpdated(changed);
}

void HistoryWindowState::setContentFilter(ClipboardSearchContentFilter filter)
{
    filtersUpdated(m_filters.setContentFilter(filter));
}

void HistoryWindowState::setDateFilter(ClipboardSearchDateFilter filter)
{
    filtersUpdated(m_filters.setDateFilter(filter));
}

void HistoryWindowState::setRequiresOCRText(bool required)
{
    filtersUpdated(m_filters.setRequiresOCRText(required));
}

void HistoryWindowState::setSourceAppIdentifier(const std::optional<QString>& identifier)
{
    const bool changed = identifier != m_sourceAppIdentifier;
    m_sourceAppIdentifier = identifier;
    filtersUpdated(changed);
}

void HistoryWindowState::filtersUpdated(bool changed)
{
    if (!changed)
        return;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setSelectedItemID(const std::optional<QUuid>& id)
{
    if (id == m_selectedItemID)
        return;
    m_selectedItemID = id;
    emit selectionChanged();
    updateLens();
}

void HistoryWindowState::setPreviewedItem(const std::optional<ClipboardItem>& item)
{
    m_previewedItem = item;
    overlaysUpdated();
}

void HistoryWindowState::setEditingItem(const std::optional<ClipboardItem>& item)
{
    const std::optional<QUuid> before = m_editingItem ? std::optional(m_editingItem->id()) : std::nullopt;
    m_editingItem = item;
    const std::optional<QUuid> after = m_editingItem ? std::optional(m_editingItem->id()) : std::nullopt;
    overlaysUpdated();
    if (before != after)
        setSearchFocused(!after.has_value());
}

void HistoryWindowState::setCreatingSnippet(bool creating)
{
    if (creating == m_isCreatingSnippet)
        return;
    m_isCreatingSnippet = creating;
    overlaysUpdated();
    setSearchFocused(!creating);
}

void HistoryWindowState::setConfirmingClearHistory(bool confirming)
{
    if (confirming == m_isConfirmingClearHistory)
        return;
    m_isConfirmingClearHistory = confirming;
    overlaysUpdated();
}

void HistoryWindowState::setManagingBoards(bool managing)
{
    if (managing == m_isManagingBoards)
        return;
    m_isManagingBoards = managing;
    overlaysUpdated();
}

void HistoryWindowState::setQueuedItemIDs(const QList<QUuid>& ids)
{
    if (m_queue.setIDs(ids))
        emit queueChanged();
}

void HistoryWindowState::setPendingScrollItemID(const std::optional<QUuid>& id)
{
    if (id == m_pendingScrollItemID)
        return;
    m_pendingScrollItemID = id;
    emit pendingScrollChanged();
}

void HistoryWindowState::setSearchFocused(bool focused)
{
    if (focused == m_isSearchFocused)
        return;
    m_isSearchFocused = focused;
    emit searchFocusChanged(focused);
}

// ---- Derived values ---------------------------------------------------------------------

ClipboardSearchCriteria HistoryWindowState::searchCriteria() const
{
    return ClipboardSearchCriteria(m_filters.query, m_filters.contentFilter, searchScope(), m_filters.dateFilter,
                                   m_filters.requiresOCRText,
                                   m_sourceAppIdentifier);
}

QList<QUuid> HistoryWindowState::filteredItemIDs() const
{
    QList<QUuid> ids;
    ids.reserve(m_filteredItems.size());
    for (const ClipboardItem& item : m_filteredItems)
        ids.append(item.id());
    return ids;
}

QList<QUuid> HistoryWindowState::allItemIDs() const
{
    QList<QUuid> ids;
    const qsizetype count = m_store.itemCount();
    ids.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        ids.append(m_store.itemAt(i).id());
    return ids;
}

std::optional<Pinboard> HistoryWindowState::selectedPinboard() const
{
    if (!m_filterKey.startsWith(pinboardKeyPrefix))
        return std::nullopt;
    const std::optional<QUuid> id = UuidText::parse(QStringView(m_filterKey).mid(pinboardKeyPrefix.size()));
    if (!id)
        return std::nullopt;
    for (const Pinboard& board : m_store.pinboards()) {
        if (board.id() == *id)
            return board;
    }
    return std::nullopt;
}

ClipboardSearchScope HistoryWindowState::searchScope() const
{
    if (m_filterKey == QLatin1String("pinned"))
        return ClipboardSearchScope::pinned();
    const std::optional<Pinboard> board = selectedPinboard();
    if (!board)
        return ClipboardSearchScope::all();
    if (board->id() == DefaultPinboards::screenshotsID())
        return ClipboardSearchScope::screenshots();
    return ClipboardSearchScope::pinboard(board->id());
}

QList<ClipboardItem> HistoryWindowState::queuedItems() const
{
    return m_queue.items();
}

const QList<SourceAppFilterOption>& HistoryWindowState::sourceAppOptions() const
{
    if (m_sourceAppOptions)
        return *m_sourceAppOptions;
    QList<SourceAppFilterOption> options;
    QSet<QString> seen;
    const qsizetype count = m_store.itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        const std::optional<ClipboardSourceApp>& app = m_store.itemAt(i).sourceApp();
        if (!app)
            continue;
        const QString id = app->searchIdentifier();
        if (seen.contains(id))
            continue;
        seen.insert(id);
        options.append({id, app->name()});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(options.begin(), options.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(a.title, b.title) < 0;
    });
    m_sourceAppOptions = std::move(options);
    return *m_sourceAppOptions;
}

std::optional<ClipboardItem> HistoryWindowState::lensItem() const
{
    if (m_lensRow >= 0 && m_lensRow < m_filteredItems.size() && m_filteredItems.at(m_lensRow).id() == m_lensID)
        return m_filteredItems.at(m_lensRow);
    // The list was computed anew and the lens has not followed yet (a slot of
    // filteredItemsChanged asks): the kept row may lie past the list or name another clip.
    if (m_filteredItems.isEmpty())
        return std::nullopt;
    if (m_selectedItemID) {
        if (const int row = rowOf(*m_selectedItemID); row >= 0)
            return m_filteredItems.at(row);
    }
    return m_filteredItems.first();
}

QString HistoryWindowState::scopeTitle() const
{
    if (m_filterKey == QLatin1String("pinned"))
        return QStringLiteral("Pinned");
    if (const std::optional<Pinboard> board = selectedPinboard())
        return board->name();
    return QStringLiteral("All History");
}

QString HistoryWindowState::scopeSystemImage() const
{
    if (m_filterKey == QLatin1String("pinned"))
        return QStringLiteral("pin.fill");
    if (const std::optional<Pinboard> board = selectedPinboard())
        return board->systemName();
    return QStringLiteral("clock.arrow.circlepath");
}

std::optional<QString> HistoryWindowState::sourceAppFilterTitle() const
{
    if (!m_sourceAppIdentifier)
        return std::nullopt;
    for (const SourceAppFilterOption& option : sourceAppOptions()) {
        if (option.id == *m_sourceAppIdentifier)
            return option.title;
    }
    return *m_sourceAppIdentifier;
}

bool HistoryWindowState::isHistoryInteractionBlocked() const
{
    return m_isCreatingSnippet || m_editingItem || m_previewedItem || m_isManagingBoards
        || m_isConfirmingClearHistory;
}

bool HistoryWindowState::canRetryOCR(const ClipboardItem& item) const
{
    return m_actions.retryOCR && tolvi::canRetryOCR(m_store, item);
}

int HistoryWindowState::rowOf(const QUuid& id) const
{
    return FilteredClips::rowOf(m_filteredItems, id);
}

// ---- Reactions --------------------------------------------------------------------------

QList<ClipboardItem> HistoryWindowState::filtered(const ClipboardSearchCriteria& criteria, double now)
{
    // Results are only reused while the clips, the filters and (for date filters) the time are
    // the same.
    const QString filters = QStringLiteral("%1|%2|%3|%4|%5")
                                .arg(m_storeGeneration)
                                .arg(m_filterKey)
                                .arg(m_filters.cacheKey())
                                .arg(m_sourceAppIdentifier.has_value())
                                .arg(m_sourceAppIdentifier.value_or(QString()));
    return m_search.filter(m_store.items(), criteria, now, m_timeZone, filters);
}

void HistoryWindowState::recompute()
{
    m_isOutOfDate = false;
    const double now = m_now();
    QList<ClipboardItem> filtered = this->filtered(searchCriteria(), now);
    const bool idsChanged = FilteredClips::idsChanged(m_filteredItems, filtered);
    m_filteredItems = std::move(filtered);
    m_filteredDay = QDate();
    if (m_filters.dateFilter == ClipboardSearchDateFilter::today) {
        if (const std::optional<QDateTime> local = localDateTime(now, m_timeZone))
            m_filteredDay = local->date();
    }
    scheduleDayChange();
    emit filteredItemsChanged();
    if (idsChanged)
        normalizeSelection();
    updateLens();
}

void HistoryWindowState::refresh()
{
    recompute();
}

void HistoryWindowState::recomputeOrDefer()
{
    if (m_inSight)
        recompute();
    else
        m_isOutOfDate = true;
}

void HistoryWindowState::setInSight(bool inSight)
{
    m_inSight = inSight;
    if (m_inSight && m_isOutOfDate)
        recompute();
}

void HistoryWindowState::scheduleDayChange()
{
    if (!m_filteredDay.isValid()) {
        m_dayChangeTimer->stop();
        return;
    }
    const std::optional<QDateTime> local = localDateTime(m_now(), m_timeZone);
    const QDateTime midnight = m_filteredDay.addDays(1).startOfDay(m_timeZone);
    qint64 wait = dayChangeCheckLimitMs;
    if (local && midnight.isValid())
        wait = std::clamp(local->msecsTo(midnight), dayChangeCheckMinimumMs, dayChangeCheckLimitMs);
    m_dayChangeTimer->start(std::chrono::milliseconds(wait));
}

void HistoryWindowState::dayChangeTimerFired()
{
    const std::optional<QDateTime> local = localDateTime(m_now(), m_timeZone);
    // A new day (or a clock set back to another day) counts "today" again.
    if (local && local->date() != m_filteredDay)
        recomputeOrDefer();
    else
        scheduleDayChange();
}

void HistoryWindowState::storeItemsChanged()
{
    ++m_storeGeneration;
    m_sourceAppOptions.reset();
    // Any change of the history's clips can change which ids exist.
    removeStaleQueuedItems();
    followPreviewedItem();
    recomputeOrDefer();
}

void HistoryWindowState::followPreviewedItem()
{
    if (!m_previewedItem)
        return;
    // The preview shows the clip as it is now; it closes once the clip has left the history.
    const std::optional<ClipboardItem> current = ClipQuickLook::currentClip(m_store, *m_previewedItem);
    if (!current)
        setPreviewedItem(std::nullopt);
    else if (!current->sharesDataWith(*m_previewedItem))
        setPreviewedItem(current);
}

void HistoryWindowState::updateLens()
{
    int row = -1;
    if (m_selectedItemID)
        row = rowOf(*m_selectedItemID);
    if (row < 0 && !m_filteredItems.isEmpty())
        row = 0;
    const std::optional<QUuid> id = row >= 0 ? std::optional(m_filteredItems.at(row).id()) : std::nullopt;
    if (row == m_lensRow && id == m_lensID)
        return;
    m_lensRow = row;
    m_lensID = id;
    emit lensChanged();
}

void HistoryWindowState::overlaysUpdated()
{
    emit overlaysChanged();
    const bool blocked = isHistoryInteractionBlocked();
    if (blocked == m_blocked)
        return;
    m_blocked = blocked;
    if (m_actions.setHistoryInteractionBlocked)
        m_actions.setHistoryInteractionBlocked(blocked);
    emit interactionBlockedChanged(blocked);
}

// ---- Commands ---------------------------------------------------------------------------

void HistoryWindowState::appear()
{
    if (m_actions.setHistoryInteractionBlocked)
        m_actions.setHistoryInteractionBlocked(isHistoryInteractionBlocked());
    setSearchFocused(!m_opensNewSnippet);
    if (m_opensNewSnippet && canPresent(HistoryOverlay::newSnippet))
        setCreatingSnippet(true);
    normalizeSelection();
}

void HistoryWindowState::normalizeSelection()
{
    setSelectedItemID(FilteredClips::settledSelection(m_filteredItems, m_selectedItemID));
}

void HistoryWindowState::removeStaleQueuedItems()
{
    if (m_queue.removeStale(m_storeGeneration))
        emit queueChanged();
}

void HistoryWindowState::moveSelection(int offset)
{
    if (m_filteredItems.isEmpty()) {
        setSelectedItemID(std::nullopt);
        return;
    }
    int current = m_selectedItemID ? rowOf(*m_selectedItemID) : -1;
    if (current < 0)
        current = 0;
    const qint64 target = std::clamp<qint64>(qint64(current) + offset, 0, m_filteredItems.size() - 1);
    setSelectedItemID(m_filteredItems.at(target).id());
}

void HistoryWindowState::openPreview(const ClipboardItem& item)
{
    if (!canPresent(HistoryOverlay::preview))
        return;
    setPreviewedItem(item);
    if (m_usageMetrics)
        m_usageMetrics->recordWithMilestone(UsageMetricEvent::richPreviewOpened);
}

void HistoryWindowState::handleEscape()
{
    if (m_isManagingBoards) {
        // The board sheet runs its close request (it asks before unsaved names are dropped).
        emit dismissOverlayRequested();
        return;
    }
    if (m_isCreatingSnippet || m_editingItem) {
        emit dismissOverlayRequested();
        return;
    }
    if (m_previewedItem) {
        setPreviewedItem(std::nullopt);
        return;
    }
    setQueuedItemIDs({});
    if (m_actions.closePanel)
        m_actions.closePanel();
}

void HistoryWindowState::pasteQueuedItems()
{
    const QList<ClipboardItem> items = queuedItems();
    if (!items.isEmpty() && m_actions.pasteItems)
        m_actions.pasteItems(items);
    setQueuedItemIDs({});
}

bool HistoryWindowState::saveSnippet(const QString& text)
{
    if (!m_actions.createSnippet || !m_actions.createSnippet(text))
        return false;
    setQuery(QString());
    clearSearchFilters();
    // The clip whose key is that of a clip of this text alone: one of this very text without kept
    // representations (no image's fingerprint, no text's key is worked out for nothing).
    const QString entered = ClipboardItem(QUuid::createUuid(), text, m_now()).content().textValue();
    const qsizetype count = m_store.itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        const ClipboardItem& item = m_store.itemAt(i);
        if (!item.originalPayload() && item.content().textEquals(entered)) {
            setSelectedItemID(item.id());
            setPendingScrollItemID(item.id());
            break;
        }
    }
    return true;
}

void HistoryWindowState::clearSearchFilters()
{
    const bool changed =
        m_filterKey != QLatin1String("all") || m_filters.narrowsBeyondQuery() || m_sourceAppIdentifier;
    m_filterKey = QStringLiteral("all");
    m_filters.clearBeyondQuery();
    m_sourceAppIdentifier.reset();
    filtersUpdated(changed);
}

void HistoryWindowState::showAllClips()
{
    setQuery(QString());
    clearSearchFilters();
    setSearchFocused(true);
}

void HistoryWindowState::selectItem(const QUuid& id)
{
    setSelectedItemID(id);
}

void HistoryWindowState::requestClearHistory()
{
    if (isHistoryInteractionBlocked() || !canPresent(HistoryOverlay::clearHistoryConfirmation))
        return;
    setConfirmingClearHistory(true);
}

void HistoryWindowState::handleCommand(PanelKeyboardCommand command)
{
    if (command == PanelKeyboardCommand::historyEscape) {
        handleEscape();
        return;
    }
    if (isHistoryInteractionBlocked())
        return;
    switch (command) {
    case PanelKeyboardCommand::createSnippet:
        if (canPresent(HistoryOverlay::newSnippet))
            setCreatingSnippet(true);
        break;
    case PanelKeyboardCommand::toggleClipPreview:
        if (!m_previewedItem) {
            if (const std::optional<ClipboardItem> lens = lensItem())
                openPreview(*lens);
        }
        break;
    case PanelKeyboardCommand::selectPreviousClip:
        moveSelection(-1);
        break;
    case PanelKeyboardCommand::selectNextClip:
        moveSelection(1);
        break;
    case PanelKeyboardCommand::pasteSelectedClip:
        if (queuedItems().isEmpty()) {
            if (const std::optional<ClipboardItem> lens = lensItem(); lens && m_actions.pasteItem)
                m_actions.pasteItem(*lens);
        } else {
            pasteQueuedItems();
        }
        break;
    case PanelKeyboardCommand::historyEscape:
    case PanelKeyboardCommand::dismissHistoryOverlay:
        break;
    }
}

// ---- Multi-paste --------------------------------------------------------------------------

qsizetype HistoryWindowState::queuedItemCount() const
{
    return m_queue.liveCount(m_storeGeneration);
}

bool HistoryWindowState::isEveryVisibleItemQueued() const
{
    return m_queue.isEveryVisibleChosen(m_filteredItems);
}

void HistoryWindowState::toggleQueue(const QUuid& id)
{
    if (m_queue.toggle(id, m_storeGeneration))
        emit queueChanged();
}

void HistoryWindowState::toggleQueueFromRowMark(const QUuid& id)
{
    if (!m_store.item(id))
        return;
    setSelectedItemID(id);
    toggleQueue(id);
}

void HistoryWindowState::toggleVisibleSelection()
{
    if (m_queue.toggleVisible(m_filteredItems, m_storeGeneration))
        emit queueChanged();
}

void HistoryWindowState::clearQueue()
{
    setQueuedItemIDs({});
}

void HistoryWindowState::showInAllHistory(const QUuid& id)
{
    setQuery(QString());
    clearSearchFilters();
    if (!m_store.item(id))
        return;
    setSelectedItemID(id);
    setPendingScrollItemID(id);
}

} // namespace tolvi
