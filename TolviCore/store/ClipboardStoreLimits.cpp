// The limits that keep the history within its clip count and byte budget, and the storage
// estimate the budget counts.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace tolvi {

// MARK: - Limits

void ClipboardStore::updateRecentLimit(std::optional<qint64> limit, bool trimExisting)
{
    configuration_.maxItems = limit;
    if (!trimExisting)
        return;
    isBatchingMutation_ = true;
    trimToLimit();
    trimToStorageLimit();
    isBatchingMutation_ = false;
    persist();
    publishChanges();
}

// Keeps the `maxItems` newest unpinned clips. The list is sorted with every pinned clip first and
// the unpinned ones newest first, so the clips to drop are exactly the tail of the list.
void ClipboardStore::trimToLimit()
{
    if (!configuration_.maxItems)
        return;
    const qint64 limit = std::max<qint64>(0, *configuration_.maxItems);
    std::deque<Entry*>& order = index_->order;
    const qint64 unpinned = static_cast<qint64>(order.size()) - index_->pinnedCount;
    if (unpinned <= limit)
        return;
    const size_t keep = static_cast<size_t>(index_->pinnedCount + limit);
    for (size_t i = keep; i < order.size(); ++i) {
        detachEntry(order[i]);
        delete order[i];
    }
    order.erase(order.begin() + static_cast<std::ptrdiff_t>(keep), order.end());
    ownItems();
    items_.remove(static_cast<qsizetype>(keep), items_.size() - static_cast<qsizetype>(keep));
    itemsChangedBy();
}

// Evicts the oldest unpinned clips (by creation time; among equal times the one earlier in the
// list first) until the estimate is within the budget. The victims are worked out in one pass
// and removed in one assignment, which ends in the same state as evicting them one at a time
// (removal only ever takes clips away, so no later choice depends on an earlier removal).
void ClipboardStore::trimToStorageLimit()
{
    const qint64 budget = configuration_.maxHistoryBytes;
    if (budget <= 0 || index_->totalBytes <= budget)
        return;

    // Unpinned clips sit at [pinnedCount, size) sorted newest first. Oldest-first order with ties
    // in list order is: tie groups from the back, each group front to back.
    qint64 total = index_->totalBytes;
    const std::deque<Entry*>& order = index_->order;
    const size_t begin = static_cast<size_t>(index_->pinnedCount);
    size_t groupEnd = order.size();
    std::vector<Entry*> victims;
    bool budgetMet = false;
    while (groupEnd > begin && !budgetMet) {
        const double time = order[groupEnd - 1]->createdAt;
        size_t groupBegin = groupEnd - 1;
        while (groupBegin > begin && order[groupBegin - 1]->createdAt == time)
            --groupBegin;
        for (size_t i = groupBegin; i < groupEnd; ++i) {
            if (total <= budget) {
                budgetMet = true;
                break;
            }
            total -= order[i]->bytes;
            victims.push_back(order[i]);
        }
        groupEnd = groupBegin;
    }
    if (victims.empty())
        return;

    // Only the victims themselves go. (A history file can hold two clips with one id; taking every
    // clip with a victim's id could evict a pinned clip.)
    QSet<const Entry*> doomed;
    doomed.reserve(static_cast<qsizetype>(victims.size()));
    for (const Entry* victim : victims)
        doomed.insert(victim);
    // The victims are a run at the tail of the list plus a leading part of one tie group.
    size_t first = order.size();
    for (const Entry* victim : victims)
        first = std::min(first, positionOf(victim));
    eraseFrom(first, [&](const Entry* entry) { return doomed.contains(entry); });
    itemsChangedBy();
}

// MARK: - Storage estimate

qint64 ClipboardStore::estimatedStorageBytes(const ClipboardItem& item)
{
    qint64 bytes = 512;
    if (const auto& app = item.sourceApp()) {
        bytes += UnicodeText::utf8Length(app->name());
        if (app->bundleIdentifier())
            bytes += UnicodeText::utf8Length(*app->bundleIdentifier());
    }
    if (item.content().isText()) {
        bytes += item.content().textUtf8Length();
        if (const auto& payload = item.originalPayload()) {
            if (payload->rtf())
                bytes += payload->rtf()->size();
            if (payload->html())
                bytes += payload->html()->size();
            for (const QString& url : payload->fileURLs())
                bytes += UnicodeText::utf8Length(url);
        }
    } else {
        const ClipboardImage& image = item.content().imageValue();
        bytes += image.byteCount();
        if (image.recognizedText())
            bytes += UnicodeText::utf8Length(*image.recognizedText());
    }
    return bytes;
}

} // namespace tolvi
