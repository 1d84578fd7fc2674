#include "Tolvi/history/HistoryWindowState.h"

#include "Tolvi/history/PartitionedClipSearch.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/text/TextCharacters.h"

#include <QCollator>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace tolvi {

namespace {
const QString pinboardKeyPrefix = QStringLiteral("pinboard:");
// Recent results kept for other queries over the same clips and filters.
constexpr qsizetype recentResultLimit = 16;
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
      m_timeZone(QTimeZone::systemTimeZone())
{
    connect(&m_store, &ClipboardStore::itemsChanged, this, &HistoryWindowState::storeItemsChanged);
    // A deleted board can make the scope fall back to everything.
    connect(&m_store, &ClipboardStore::pinboardsChanged, this, [this] {
        ++m_storeGeneration;
        recompute();
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
}

bool HistoryWindowState::canPresent(HistoryOverlay overlay) const
{
    return m_overlayAvailable && m_overlayAvailable(overlay);
}

// ---- View state -------------------------------------------------------------------------

void HistoryWindowState::setQuery(const QString& query)
{
    if (query == m_query)
        return;
    m_query = query;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setFilterKey(const QString& key)
{
    if (key == m_filterKey)
        return;
    m_filterKey = key;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setContentFilter(ClipboardSearchContentFilter filter)
{
    if (filter == m_contentFilter)
        return;
    m_contentFilter = filter;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setDateFilter(ClipboardSearchDateFilter filter)
{
    if (filter == m_dateFilter)
        return;
    m_dateFilter = filter;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setRequiresOCRText(bool required)
{
    if (required == m_requiresOCRText)
        return;
    m_requiresOCRText = required;
    emit criteriaChanged();
    recompute();
}

void HistoryWindowState::setSourceAppIdentifier(const std::optional<QString>& identifier)
{
    if (identifier == m_sourceAppIdentifier)
        return;
    m_sourceAppIdentifier = identifier;
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
    if (ids == m_queuedItemIDs)
        return;
    m_queuedItemIDs = ids;
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
    return ClipboardSearchCriteria(m_query, m_contentFilter, searchScope(), m_dateFilter, m_requiresOCRText,
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
    QList<ClipboardItem> items;
    for (const QUuid& id : m_queuedItemIDs) {
        if (std::optional<ClipboardItem> item = m_store.item(id))
            items.append(std::move(*item));
    }
    return items;
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
    if (m_lensRow < 0)
        return std::nullopt;
    return m_filteredItems.at(m_lensRow);
}

bool HistoryWindowState::isHistoryInteractionBlocked() const
{
    return m_isCreatingSnippet || m_editingItem || m_previewedItem || m_isManagingBoards
        || m_isConfirmingClearHistory;
}

bool HistoryWindowState::canRetryOCR(const ClipboardItem& item) const
{
    if (!m_actions.retryOCR)
        return false;
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return false;
    if (m_store.ocrInProgress().contains(image->fingerprint()))
        return false;
    const auto status = m_store.ocrStatuses().constFind(image->fingerprint());
    if (status != m_store.ocrStatuses().cend())
        return *status != ClipboardStore::OCRStatus::unsupportedImage;
    return !image->recognizedText() || image->recognizedText()->isEmpty();
}

int HistoryWindowState::rowOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_filteredItems.size(); ++i) {
        if (m_filteredItems.at(i).id() == id)
            return int(i);
    }
    return -1;
}

// ---- Reactions --------------------------------------------------------------------------

QList<ClipboardItem> HistoryWindowState::filtered(const ClipboardSearchCriteria& criteria, double now)
{
    // Results are only reused while the clips, the filters and (for date filters) the time are
    // the same.
    const QString filters = QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                                .arg(m_storeGeneration)
                                .arg(m_filterKey)
                                .arg(int(m_contentFilter))
                                .arg(int(m_dateFilter))
                                .arg(m_requiresOCRText)
                                .arg(m_sourceAppIdentifier.has_value())
                                .arg(m_sourceAppIdentifier.value_or(QString()));
    if (m_dateFilter != ClipboardSearchDateFilter::anyTime || filters != m_recentResultsFilters) {
        m_recentResults.clear();
        m_recentResultsFilters = filters;
    }
    if (m_dateFilter != ClipboardSearchDateFilter::anyTime)
        return PartitionedClipSearch::shared().filter(m_store.items(), criteria, now, m_timeZone);

    const QByteArray folded = ClipboardSearchTextCache::foldedForMatching(
        TextCharacters::trimmedWhitespaceAndNewlines(criteria.query), QLocale());
    const RecentResult* narrowest = nullptr;
    for (const RecentResult& recent : std::as_const(m_recentResults)) {
        if (recent.foldedQuery == folded)
            return recent.items;
        if (folded.contains(recent.foldedQuery)
            && (!narrowest || recent.foldedQuery.size() > narrowest->foldedQuery.size()))
            narrowest = &recent;
    }
    QList<ClipboardItem> result = PartitionedClipSearch::shared().filter(
        narrowest ? narrowest->items : m_store.items(), criteria, now, m_timeZone);
    if (m_recentResults.size() >= recentResultLimit)
        m_recentResults.removeFirst();
    m_recentResults.append({folded, result});
    return result;
}

void HistoryWindowState::recompute()
{
    QList<ClipboardItem> filtered = this->filtered(searchCriteria(), m_now());
    bool idsChanged = false;
    if (!filtered.isSharedWith(m_filteredItems)) {
        idsChanged = filtered.size() != m_filteredItems.size();
        for (qsizetype i = 0; !idsChanged && i < filtered.size(); ++i) {
            const ClipboardItem& now = filtered.at(i);
            const ClipboardItem& before = m_filteredItems.at(i);
            idsChanged = !now.sharesDataWith(before) && now.id() != before.id();
        }
    }
    m_filteredItems = std::move(filtered);
    emit filteredItemsChanged();
    if (idsChanged)
        normalizeSelection();
    updateLens();
}

void HistoryWindowState::refresh()
{
    recompute();
}

void HistoryWindowState::storeItemsChanged()
{
    ++m_storeGeneration;
    m_sourceAppOptions.reset();
    // Any change of the history's clips can change which ids exist.
    removeStaleQueuedItems();
    recompute();
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
    if (m_filteredItems.isEmpty()) {
        setSelectedItemID(std::nullopt);
        return;
    }
    if (m_selectedItemID && rowOf(*m_selectedItemID) >= 0)
        return;
    setSelectedItemID(m_filteredItems.first().id());
}

void HistoryWindowState::removeStaleQueuedItems()
{
    if (m_queuedItemIDs.isEmpty())
        return;
    QList<QUuid> kept;
    kept.reserve(m_queuedItemIDs.size());
    for (const QUuid& id : std::as_const(m_queuedItemIDs)) {
        if (m_store.item(id))
            kept.append(id);
    }
    setQueuedItemIDs(kept);
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
    if (m_usageMetrics) {
        m_usageMetrics->record(UsageMetricEvent::richPreviewOpened);
        if (m_usageMetrics->count(UsageMetricEvent::firstPreviewOpened) <= 0)
            m_usageMetrics->record(UsageMetricEvent::firstPreviewOpened);
    }
}

void HistoryWindowState::handleEscape()
{
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
    const QString key = ClipboardItem(QUuid::createUuid(), text, m_now()).dedupeKey();
    const qsizetype count = m_store.itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        const ClipboardItem& item = m_store.itemAt(i);
        if (item.dedupeKey() == key) {
            setSelectedItemID(item.id());
            setPendingScrollItemID(item.id());
            break;
        }
    }
    return true;
}

void HistoryWindowState::clearSearchFilters()
{
    const bool changed = m_filterKey != QLatin1String("all") || m_contentFilter != ClipboardSearchContentFilter::all
        || m_dateFilter != ClipboardSearchDateFilter::anyTime || m_requiresOCRText || m_sourceAppIdentifier;
    if (!changed)
        return;
    m_filterKey = QStringLiteral("all");
    m_contentFilter = ClipboardSearchContentFilter::all;
    m_dateFilter = ClipboardSearchDateFilter::anyTime;
    m_requiresOCRText = false;
    m_sourceAppIdentifier.reset();
    emit criteriaChanged();
    recompute();
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

} // namespace tolvi
