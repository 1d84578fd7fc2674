#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/SerialQueue.h"

#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace tolvi {

// What the store keeps beside each clip of `items_`, at the same index of `order_`: the fields
// that place it in the list and in the indexes.
struct ClipboardStore::Entry {
    QUuid id;
    bool pinned = false;
    double createdAt = 0;
    size_t keyHash = 0;  // of the de-duplication key in canonical form (keyHashOf)
    QString fingerprint; // image fingerprint; empty for a text clip
    qint64 bytes = 0;    // storage estimate
};

namespace {

// Runs work(begin, end) over consecutive slices of [0, count) on up to one thread per core, this
// one included, and returns when all of it is done. A short list stays on this thread.
template <typename Work>
void inParallelSlices(qsizetype count, const Work& work)
{
    constexpr qsizetype slice = 256;
    const qsizetype threads = std::min<qsizetype>(std::max(1, QThread::idealThreadCount()), count / (2 * slice));
    if (threads <= 1) {
        work(0, count);
        return;
    }
    std::atomic<qsizetype> next{0};
    const auto run = [&] {
        for (qsizetype begin = next.fetch_add(slice); begin < count; begin = next.fetch_add(slice))
            work(begin, std::min(count, begin + slice));
    };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    for (qsizetype i = 1; i < threads; ++i)
        helpers.emplace_back(run);
    run();
    for (std::thread& helper : helpers)
        helper.join();
}

// List order: pinned clips first, then newer creation time first.
inline bool precedes(bool pinnedA, double timeA, bool pinnedB, double timeB)
{
    if (pinnedA != pinnedB)
        return pinnedA;
    return timeA > timeB;
}

} // namespace

ClipboardStore::Configuration ClipboardStore::Configuration::standard()
{
    return Configuration{80, 50'000, 12'000'000, 500'000'000};
}

ClipboardStore::ClipboardStore(std::shared_ptr<ClipboardHistoryPersisting> persistence, Configuration configuration,
                               QObject* parent)
    : QObject(parent), persistence_(std::move(persistence)), configuration_(configuration),
      pinboards_(DefaultPinboards::all())
{
    // While saving fails, the current history is written again now and then, so that it reaches
    // the disk once there is room again even if nothing changes meanwhile.
    saveRetryTimer_ = new QTimer(this);
    saveRetryTimer_->setInterval(defaultSaveRetryInterval);
    connect(saveRetryTimer_, &QTimer::timeout, this, [this] {
        if (storageIssue_ == StorageIssue::saveFailed && !boardWrite_)
            retryStorage();
    });
    load();
    // Nobody observes the store before its constructor returns.
    storageIssueDirty_ = lastCaptureIssueDirty_ = ocrStatusesDirty_ = ocrInProgressDirty_ = false;
    itemsDirty_ = pinboardsDirty_ = false;
}

ClipboardStore::~ClipboardStore()
{
    // A board change still being written is finished first (its completion is dropped with the
    // store): the writer thread must not outlive what it reports to.
    boardWriter_.reset();
    destroyAllEntries();
}

// MARK: - Reading

const ClipboardItem& ClipboardStore::itemAt(qsizetype index) const
{
    return items_.at(index);
}

std::optional<ClipboardItem> ClipboardStore::item(const QUuid& id) const
{
    if (const Entry* entry = firstWithId(id))
        return items_.at(static_cast<qsizetype>(positionOf(entry)));
    return std::nullopt;
}

QList<ClipboardItem> ClipboardStore::pinnedItems() const
{
    return items_.first(pinnedCount_);
}

QList<ClipboardItem> ClipboardStore::recentItems() const
{
    return items_.sliced(pinnedCount_);
}

QList<ClipboardItem> ClipboardStore::items(const Pinboard& board) const
{
    QList<ClipboardItem> list;
    for (const ClipboardItem& item : items_) {
        if (item.pinboardIDs().contains(board.id()))
            list.append(item);
    }
    return list;
}

ClipboardHistoryState ClipboardStore::currentState() const
{
    return ClipboardHistoryState{items_, pinboards_};
}

qint64 ClipboardStore::estimatedStorageBytes(const ClipboardItem& item)
{
    qint64 bytes = 512;
    if (const auto& app = item.sourceApp()) {
        bytes += UnicodeText::utf8Length(app->name());
        if (app->bundleIdentifier())
            bytes += UnicodeText::utf8Length(*app->bundleIdentifier());
    }
    if (const QString* text = item.content().textIf()) {
        bytes += UnicodeText::utf8Length(*text);
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

// MARK: - The sorted list and its indexes
//
// `items_` is the published list itself, so handing the state to the save queue or to a window
// copies nothing. It is kept like a double-ended queue: a clip is inserted or removed by moving
// the shorter side of the list (a prepend or a removal at either end costs nothing in a QList),
// so a new clip, which lands right behind the pinned ones, costs time in proportion to the pinned
// clips, not to the history.

ClipboardStore::Entry* ClipboardStore::makeEntry(const ClipboardItem& item)
{
    auto* entry = new Entry;
    refreshDerived(entry, item);
    return entry;
}

void ClipboardStore::refreshDerived(Entry* entry, const ClipboardItem& item)
{
    entry->id = item.id();
    entry->pinned = item.isPinned();
    entry->createdAt = item.createdAt();
    entry->keyHash = keyHashOf(item);
    const ClipboardImage* image = item.content().imageIf();
    entry->fingerprint = image ? image->fingerprint() : QString();
    entry->bytes = estimatedStorageBytes(item);
}

void ClipboardStore::listInsert(size_t position, ClipboardItem item, Entry* entry)
{
    const qsizetype pos = static_cast<qsizetype>(position);
    if (pos <= items_.size() / 2) {
        // Grow at the front, shift the first `pos` clips one step forward, fill the gap.
        items_.prepend(std::move(item));
        auto first = items_.begin();
        ClipboardItem placed = std::move(*first);
        std::move(first + 1, first + pos + 1, first);
        *(first + pos) = std::move(placed);
    } else {
        items_.insert(pos, std::move(item));
    }
    order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(position), entry);
}

void ClipboardStore::listErase(size_t position)
{
    const qsizetype pos = static_cast<qsizetype>(position);
    if (pos < items_.size() / 2) {
        // Shift the clips before it one step back over it, then drop the first slot.
        auto first = items_.begin();
        std::move_backward(first, first + pos, first + pos + 1);
        items_.removeFirst();
    } else {
        items_.remove(pos);
    }
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(position));
}

// Puts a clip at its place in list order: ahead of the clips with the same pin state and creation
// time, or behind them when `afterTies` is set.
void ClipboardStore::insertItem(ClipboardItem item, bool afterTies)
{
    Entry* entry = makeEntry(item);
    const bool pinned = entry->pinned;
    const double time = entry->createdAt;
    auto position = std::partition_point(order_.begin(), order_.end(), [&](const Entry* other) {
        if (afterTies)
            return !precedes(pinned, time, other->pinned, other->createdAt);
        return precedes(other->pinned, other->createdAt, pinned, time);
    });
    listInsert(static_cast<size_t>(position - order_.begin()), std::move(item), entry);
    attachIndexes(entry);
}

void ClipboardStore::attachIndexes(Entry* entry)
{
    byKey_.insert(entry->keyHash, entry);
    byId_.insert(entry->id, entry);
    if (!entry->fingerprint.isEmpty()) {
        ++imageCounts_[entry->fingerprint];
        vanishedFingerprints_.remove(entry->fingerprint);
    }
    totalBytes_ += entry->bytes;
    if (entry->pinned)
        ++pinnedCount_;
}

// Takes an entry out of the indexes (not out of the list); the caller erases or deletes it.
void ClipboardStore::detachEntry(Entry* entry)
{
    byKey_.remove(entry->keyHash, entry);
    byId_.remove(entry->id, entry);
    if (!entry->fingerprint.isEmpty()) {
        auto it = imageCounts_.find(entry->fingerprint);
        if (it != imageCounts_.end() && --it.value() <= 0) {
            imageCounts_.erase(it);
            vanishedFingerprints_.insert(entry->fingerprint);
        }
    }
    totalBytes_ -= entry->bytes;
    if (entry->pinned)
        --pinnedCount_;
}

void ClipboardStore::eraseAt(size_t position)
{
    Entry* entry = order_[position];
    detachEntry(entry);
    listErase(position);
    delete entry;
}

// Removes every clip for which `doomed` holds from position `first` on, keeping the order of the
// rest: one pass over that stretch of the list.
template <typename Predicate>
void ClipboardStore::eraseFrom(size_t first, Predicate doomed)
{
    size_t write = first;
    for (size_t read = first; read < order_.size(); ++read) {
        Entry* entry = order_[read];
        if (doomed(entry)) {
            detachEntry(entry);
            delete entry;
            continue;
        }
        if (write != read) {
            order_[write] = entry;
            items_[static_cast<qsizetype>(write)] = std::move(items_[static_cast<qsizetype>(read)]);
        }
        ++write;
    }
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(write), order_.end());
    items_.remove(static_cast<qsizetype>(write), items_.size() - static_cast<qsizetype>(write));
}

// Position of an entry in the list: a binary search to the clips of its pin state and creation
// time, then a walk through those ties.
size_t ClipboardStore::positionOf(const Entry* entry) const
{
    auto it = std::partition_point(order_.begin(), order_.end(), [&](const Entry* other) {
        return precedes(other->pinned, other->createdAt, entry->pinned, entry->createdAt);
    });
    for (; it != order_.end(); ++it) {
        if (*it == entry)
            return static_cast<size_t>(it - order_.begin());
    }
    Q_ASSERT_X(false, "ClipboardStore", "entry missing from the list");
    return order_.size();
}

// The index holds hashes of the keys, not the keys: a text's key would be a second copy of the
// text. A hash of a canonical key is built without building the key where that can be: the
// canonical form of "text:" and a text is "text:" and the text's canonical form (no character
// composes with a colon), so a text clip's hash is that of its canonical text; an image's key is
// "image:" and its fingerprint. Clips whose keys are equal always have equal hashes, and every
// match on a hash is checked against the key itself.
size_t ClipboardStore::keyHashOf(const ClipboardItem& item)
{
    if (!item.originalPayload()) {
        if (const QString* text = item.content().textIf())
            return textKeyHash(*text);
        return qHash(item.content().imageValue().fingerprint(), QHashSeed::globalSeed());
    }
    return qHash(UnicodeText::canonicalForm(item.dedupeKey()), QHashSeed::globalSeed());
}

size_t ClipboardStore::textKeyHash(const QString& text)
{
    return qHash(UnicodeText::canonicalForm(text), QHashSeed::globalSeed());
}

bool ClipboardStore::hasKey(const Entry* entry, const QString& key) const
{
    return canonicalKeyAt(static_cast<qsizetype>(positionOf(entry))) == key;
}

ClipboardStore::Entry* ClipboardStore::firstWithKey(size_t hash, const QString& key) const
{
    Entry* first = nullptr;
    size_t firstPosition = 0;
    for (auto it = byKey_.constFind(hash); it != byKey_.cend() && it.key() == hash; ++it) {
        const size_t position = positionOf(it.value());
        if ((!first || position < firstPosition) && canonicalKeyAt(static_cast<qsizetype>(position)) == key) {
            first = it.value();
            firstPosition = position;
        }
    }
    return first;
}

size_t ClipboardStore::keyHashAt(qsizetype index) const
{
    return order_[static_cast<size_t>(index)]->keyHash;
}

QString ClipboardStore::canonicalKeyAt(qsizetype index) const
{
    return UnicodeText::canonicalForm(items_.at(index).dedupeKey());
}

ClipboardStore::Entry* ClipboardStore::firstWithId(const QUuid& id) const
{
    Entry* first = nullptr;
    size_t firstPosition = 0;
    qsizetype matches = 0;
    for (auto it = byId_.constFind(id); it != byId_.cend() && it.key() == id; ++it) {
        if (++matches == 1) {
            first = it.value();
            continue;
        }
        if (matches == 2)
            firstPosition = positionOf(first);
        const size_t position = positionOf(it.value());
        if (position < firstPosition) {
            first = it.value();
            firstPosition = position;
        }
    }
    return first;
}

void ClipboardStore::destroyAllEntries()
{
    for (Entry* entry : order_)
        delete entry;
    order_.clear();
    items_.clear();
    byKey_.clear();
    byId_.clear();
    for (auto it = imageCounts_.cbegin(); it != imageCounts_.cend(); ++it)
        vanishedFingerprints_.insert(it.key());
    imageCounts_.clear();
    totalBytes_ = 0;
    pinnedCount_ = 0;
}

// Replaces the whole list; `sortItems` sorts it by list order (stable), otherwise it must be
// sorted already.
void ClipboardStore::assignItems(const QList<ClipboardItem>& items, bool sortItems)
{
    destroyAllEntries();
    QList<ClipboardItem> list = items;
    if (sortItems) {
        const bool sorted = std::is_sorted(list.cbegin(), list.cend(), [](const ClipboardItem& a, const ClipboardItem& b) {
            return precedes(a.isPinned(), a.createdAt(), b.isPinned(), b.createdAt());
        });
        if (!sorted) {
            std::stable_sort(list.begin(), list.end(), [](const ClipboardItem& a, const ClipboardItem& b) {
                return precedes(a.isPinned(), a.createdAt(), b.isPinned(), b.createdAt());
            });
        }
    }
    // What each clip's entry holds depends on that clip alone (its key's hash and its size walk
    // its whole text), so a large history has them made on every core.
    std::vector<Entry*> entries(static_cast<std::size_t>(list.size()));
    inParallelSlices(list.size(), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            entries[static_cast<std::size_t>(i)] = makeEntry(list.at(i));
    });
    byKey_.reserve(list.size());
    byId_.reserve(list.size());
    for (Entry* entry : entries) {
        order_.push_back(entry);
        attachIndexes(entry);
    }
    items_ = std::move(list);
    itemsChangedBy();
}

// Replaces a clip where it stands in the list (for changes that keep its place).
void ClipboardStore::replaceItemInPlace(size_t position, ClipboardItem item)
{
    Entry* entry = order_[position];
    detachEntry(entry);
    refreshDerived(entry, item);
    items_[static_cast<qsizetype>(position)] = std::move(item);
    attachIndexes(entry);
}

// Replaces a clip and moves it to its place for its new pin state and time.
void ClipboardStore::replaceItemAndReposition(size_t position, ClipboardItem item, bool afterTies)
{
    eraseAt(position);
    insertItem(std::move(item), afterTies);
}

// The effects of every assignment of the clips: the OCR bookkeeping is pruned and a save is asked
// for (skipped while loading or inside a batch).
void ClipboardStore::itemsChangedBy(bool pruneNeeded)
{
    itemsDirty_ = true;
    if (pruneNeeded)
        pruneOCRState();
    persist();
}

void ClipboardStore::assignPinboards(QList<Pinboard> boards)
{
    pinboards_ = std::move(boards);
    pinboardsDirty_ = true;
    persist();
}

// MARK: - Loading

void ClipboardStore::load()
{
    isLoading_ = true;
    std::optional<ClipboardHistoryState> loaded;
    try {
        loaded = persistence_->load();
    } catch (...) {
        loaded.reset();
    }
    if (loaded) {
        QSet<QUuid> boardIDs;
        boardIDs.reserve(loaded->pinboards.size());
        for (const Pinboard& board : loaded->pinboards)
            boardIDs.insert(board.id());
        assignPinboards(loaded->pinboards);
        QList<ClipboardItem> clips = std::move(loaded->items);
        for (ClipboardItem& clip : clips) {
            const QList<QUuid>& ids = std::as_const(clip).pinboardIDs();
            if (std::all_of(ids.cbegin(), ids.cend(), [&](const QUuid& id) { return boardIDs.contains(id); }))
                continue;
            QList<QUuid> kept;
            for (const QUuid& id : ids) {
                if (boardIDs.contains(id))
                    kept.append(id);
            }
            clip.setPinboardIDs(std::move(kept));
        }
        assignItems(clips, true);
        setStorageIssue(std::nullopt);
    } else {
        assignItems({}, false);
        assignPinboards(DefaultPinboards::all());
        setStorageIssue(StorageIssue::loadFailed);
    }
    isLoading_ = false;
}

// MARK: - Recording

bool ClipboardStore::record(const QString& text, double createdAt, std::optional<ClipboardSourceApp> sourceApp,
                            std::optional<ClipboardOriginalPayload> originalPayload)
{
    if (TextLimits::isBlank(text))
        return false;
    return record(ClipboardContent::text(text), createdAt, std::move(sourceApp), std::move(originalPayload));
}

bool ClipboardStore::record(const ClipboardContent& content, double createdAt,
                            std::optional<ClipboardSourceApp> sourceApp,
                            std::optional<ClipboardOriginalPayload> originalPayload)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return false;
    // A time that is not a number would break the list order and could never be written out.
    if (!std::isfinite(createdAt))
        return false;
    if (const ClipboardImage* image = content.imageIf()) {
        if (image->byteCount() == 0 || image->byteCount() > configuration_.maxImageBytes)
            return false;
    } else {
        const QString& text = content.textValue();
        if (TextLimits::exceedsCharacterLimit(text, configuration_.maxCharactersPerItem)) {
            setLastCaptureIssue(QStringLiteral("This text exceeds the %1-character limit and was not saved. "
                                               "The original clipboard is unchanged.")
                                    .arg(configuration_.maxCharactersPerItem));
            publishChanges();
            return false;
        }
        if (TextLimits::isBlank(text))
            return false;
    }

    setLastCaptureIssue(std::nullopt);

    ClipboardItem fresh(QUuid::createUuid(), content, createdAt, false, {}, std::move(sourceApp),
                        std::move(originalPayload));
    const QString key = UnicodeText::canonicalForm(fresh.dedupeKey());
    const size_t keyHash = keyHashOf(fresh);
    if (const Entry* donor = firstWithKey(keyHash, key)) {
        const ClipboardItem& old = items_.at(static_cast<qsizetype>(positionOf(donor)));
        fresh.setPinned(old.isPinned());
        fresh.setPinboardIDs(old.pinboardIDs());
        if (!fresh.sourceApp())
            fresh.setSourceApp(old.sourceApp());
        if (ClipboardImage* image = fresh.content().imageIf()) {
            const auto& ownText = image->recognizedText();
            const bool ownTextUsable = ownText && !TextLimits::isBlank(*ownText);
            const ClipboardImage* oldImage = old.content().imageIf();
            if (!ownTextUsable && oldImage && oldImage->recognizedText())
                image->setRecognizedText(oldImage->recognizedText());
        }
    }

    isBatchingMutation_ = true;
    // Every clip with the key goes, not only the donor.
    while (const Entry* equal = firstWithKey(keyHash, key))
        eraseAt(positionOf(equal));
    insertItem(std::move(fresh), false);
    itemsChangedBy();
    trimToLimit();
    trimToStorageLimit();
    isBatchingMutation_ = false;
    persist();
    publishChanges();
    return true;
}

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
    const qint64 unpinned = static_cast<qint64>(order_.size()) - pinnedCount_;
    if (unpinned <= limit)
        return;
    const size_t keep = static_cast<size_t>(pinnedCount_ + limit);
    for (size_t i = keep; i < order_.size(); ++i) {
        detachEntry(order_[i]);
        delete order_[i];
    }
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(keep), order_.end());
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
    if (budget <= 0 || totalBytes_ <= budget)
        return;

    // Unpinned clips sit at [pinnedCount_, size) sorted newest first. Oldest-first order with ties
    // in list order is: tie groups from the back, each group front to back.
    qint64 total = totalBytes_;
    const size_t begin = static_cast<size_t>(pinnedCount_);
    size_t groupEnd = order_.size();
    std::vector<Entry*> victims;
    bool budgetMet = false;
    while (groupEnd > begin && !budgetMet) {
        const double time = order_[groupEnd - 1]->createdAt;
        size_t groupBegin = groupEnd - 1;
        while (groupBegin > begin && order_[groupBegin - 1]->createdAt == time)
            --groupBegin;
        for (size_t i = groupBegin; i < groupEnd; ++i) {
            if (total <= budget) {
                budgetMet = true;
                break;
            }
            total -= order_[i]->bytes;
            victims.push_back(order_[i]);
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
    size_t first = order_.size();
    for (const Entry* victim : victims)
        first = std::min(first, positionOf(victim));
    eraseFrom(first, [&](const Entry* entry) { return doomed.contains(entry); });
    itemsChangedBy();
}

// MARK: - Edits

void ClipboardStore::remove(const ClipboardItem& item)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    while (Entry* entry = firstWithId(item.id()))
        eraseAt(positionOf(entry));
    itemsChangedBy();
    publishChanges();
}

void ClipboardStore::removeItems(double createdAfter)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    eraseFrom(0, [&](const Entry* entry) { return entry->createdAt >= createdAfter; });
    itemsChangedBy();
    publishChanges();
}

void ClipboardStore::clear()
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    assignItems({}, false);
    publishChanges();
}

void ClipboardStore::togglePinned(const ClipboardItem& item)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    Entry* entry = firstWithId(item.id());
    if (!entry)
        return;
    isBatchingMutation_ = true;
    const size_t position = positionOf(entry);
    ClipboardItem updated = items_.at(static_cast<qsizetype>(position));
    const bool pinning = !updated.isPinned();
    updated.setPinned(pinning);
    // A stable sort keeps the clip behind the pinned clips of equal time that stood before it,
    // and ahead of the unpinned ones of equal time that stood after it.
    replaceItemAndReposition(position, std::move(updated), pinning);
    itemsChangedBy();
    isBatchingMutation_ = false;
    persist();
    publishChanges();
}

void ClipboardStore::togglePinboard(const Pinboard& board, const ClipboardItem& item)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    const bool known = std::any_of(pinboards_.cbegin(), pinboards_.cend(),
                                   [&](const Pinboard& b) { return b.id() == board.id(); });
    if (!known)
        return;
    Entry* entry = firstWithId(item.id());
    if (!entry)
        return;
    isBatchingMutation_ = true;
    const size_t position = positionOf(entry);
    ClipboardItem updated = items_.at(static_cast<qsizetype>(position));
    QList<QUuid>& ids = updated.pinboardIDs();
    bool pinning = false;
    if (ids.contains(board.id())) {
        ids.removeAll(board.id());
    } else {
        ids.append(board.id());
        pinning = !updated.isPinned();
        updated.setPinned(true);
    }
    // Only a clip that becomes pinned moves; otherwise pin state and time are unchanged and a
    // stable sort leaves it where it is.
    if (pinning)
        replaceItemAndReposition(position, std::move(updated), true);
    else
        replaceItemInPlace(position, std::move(updated));
    itemsChangedBy();
    isBatchingMutation_ = false;
    persist();
    publishChanges();
}

bool ClipboardStore::updateText(const QString& text, const ClipboardItem& item)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return false;
    if (TextLimits::isBlank(text))
        return false;
    if (!firstWithId(item.id()))
        return false;
    if (item.content().isImage())
        return false;
    if (TextLimits::exceedsCharacterLimit(text, configuration_.maxCharactersPerItem)) {
        setLastCaptureIssue(QStringLiteral("This edit exceeds the %1-character limit. Your saved clip was not changed.")
                                .arg(configuration_.maxCharactersPerItem));
        publishChanges();
        return false;
    }

    setLastCaptureIssue(std::nullopt);
    isBatchingMutation_ = true;

    // The clips the edit makes equal to it: plain text clips with the same text.
    const QString key = UnicodeText::canonicalForm(ClipboardContent::text(text).dedupeKey());
    const size_t keyHash = textKeyHash(text);
    std::vector<std::pair<size_t, Entry*>> equal;
    for (auto it = byKey_.constFind(keyHash); it != byKey_.cend() && it.key() == keyHash; ++it) {
        if (it.value()->id != item.id() && hasKey(it.value(), key))
            equal.emplace_back(positionOf(it.value()), it.value());
    }
    std::sort(equal.begin(), equal.end());
    std::vector<ClipboardItem> equalItems;
    equalItems.reserve(equal.size());
    for (auto it = equal.rbegin(); it != equal.rend(); ++it) {
        equalItems.insert(equalItems.begin(), items_.at(static_cast<qsizetype>(it->first)));
        eraseAt(it->first);
    }
    if (!equal.empty())
        itemsChangedBy();

    Entry* entry = firstWithId(item.id());
    if (!entry) {
        isBatchingMutation_ = false;
        persist();
        publishChanges();
        return false;
    }

    const size_t position = positionOf(entry);
    ClipboardItem edited = items_.at(static_cast<qsizetype>(position));
    edited.setContent(ClipboardContent::text(text));
    edited.setOriginalPayload(std::nullopt);
    bool pinned = edited.isPinned();
    QList<QUuid> boards = edited.pinboardIDs();
    for (const ClipboardItem& other : equalItems) {
        pinned = pinned || other.isPinned();
        for (const QUuid& id : other.pinboardIDs()) {
            if (!boards.contains(id))
                boards.append(id);
        }
    }
    if (!edited.sourceApp()) {
        for (const ClipboardItem& other : equalItems) {
            if (other.sourceApp()) {
                edited.setSourceApp(other.sourceApp());
                break;
            }
        }
    }
    const bool pinning = pinned && !edited.isPinned();
    edited.setPinned(pinned);
    edited.setPinboardIDs(std::move(boards));

    if (pinning)
        replaceItemAndReposition(position, std::move(edited), true);
    else
        replaceItemInPlace(position, std::move(edited));
    itemsChangedBy();

    isBatchingMutation_ = false;
    persist();
    publishChanges();
    return true;
}

// MARK: - Saving

void ClipboardStore::persist()
{
    if (isLoading_ || isBatchingMutation_)
        return;
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    if (boardWrite_) {
        // A save now would carry the boards as they were before the change being written, and
        // would land after it. The state of the moment is saved once that write is done.
        saveHeldForBoards_ = true;
        return;
    }
    const ClipboardHistoryState state = currentState();
    const qint64 generation = ++persistenceGeneration_;
    if (auto* async = dynamic_cast<ClipboardHistoryAsyncPersisting*>(persistence_.get())) {
        QPointer<ClipboardStore> weakSelf(this);
        async->enqueueSave(state, [weakSelf, generation](const SaveResult& result) {
            ClipboardStore* self = weakSelf.data();
            if (!self || self->persistenceGeneration_ != generation)
                return;
            self->setStorageIssue(result.isSuccess() ? std::nullopt
                                                     : std::optional<StorageIssue>(StorageIssue::saveFailed));
            self->publishChanges();
        });
        return;
    }
    try {
        persistence_->save(state);
        setStorageIssue(std::nullopt);
    } catch (...) {
        setStorageIssue(StorageIssue::saveFailed);
    }
}

void ClipboardStore::retryStorage()
{
    if (storageIssue_ == StorageIssue::loadFailed)
        load();
    else if (storageIssue_ == StorageIssue::saveFailed)
        persist();
    publishChanges();
}

void ClipboardStore::flushPersistence()
{
    if (storageIssue_ == StorageIssue::loadFailed)
        throw ClipboardHistoryImportError(ClipboardHistoryImportError::Case::storageUnavailable);
    finishBoardWrite();
    auto* async = dynamic_cast<ClipboardHistoryAsyncPersisting*>(persistence_.get());
    if (!async)
        return;
    // What failed to save is the history as it was then: the history as it is now goes out.
    if (storageIssue_ == StorageIssue::saveFailed)
        persist();
    ++persistenceGeneration_;
    try {
        async->flush();
    } catch (...) {
        setStorageIssue(StorageIssue::saveFailed);
        publishChanges();
        throw;
    }
    setStorageIssue(std::nullopt);
    publishChanges();
}

void ClipboardStore::setSaveRetryInterval(std::chrono::milliseconds interval)
{
    saveRetryTimer_->setInterval(interval);
}

void ClipboardStore::setStorageIssue(std::optional<StorageIssue> issue)
{
    if (issue == StorageIssue::saveFailed) {
        if (!saveRetryTimer_->isActive())
            saveRetryTimer_->start();
    } else {
        saveRetryTimer_->stop();
    }
    if (storageIssue_ == issue)
        return;
    storageIssue_ = issue;
    storageIssueDirty_ = true;
}

void ClipboardStore::setLastCaptureIssue(std::optional<QString> issue)
{
    if (lastCaptureIssue_ == issue)
        return;
    lastCaptureIssue_ = std::move(issue);
    lastCaptureIssueDirty_ = true;
}

// Announces every published field changed since the last announcement, once each.
void ClipboardStore::publishChanges()
{
    const bool storage = std::exchange(storageIssueDirty_, false);
    const bool capture = std::exchange(lastCaptureIssueDirty_, false);
    const bool statuses = std::exchange(ocrStatusesDirty_, false);
    const bool inProgress = std::exchange(ocrInProgressDirty_, false);
    const bool clips = std::exchange(itemsDirty_, false);
    const bool boards = std::exchange(pinboardsDirty_, false);
    const bool savingBoards = std::exchange(savingBoardsDirty_, false);
    if (storage)
        emit storageIssueChanged();
    if (capture)
        emit lastCaptureIssueChanged();
    if (statuses)
        emit ocrStatusesChanged();
    if (inProgress)
        emit ocrInProgressChanged();
    if (clips)
        emit itemsChanged();
    if (boards)
        emit pinboardsChanged();
    if (savingBoards)
        emit savingBoardsChanged();
}

// MARK: - OCR bookkeeping

bool ClipboardStore::isLiveImage(const QString& fingerprint) const
{
    return imageCounts_.contains(fingerprint);
}

void ClipboardStore::setOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint)
{
    applyOCRStatus(status, fingerprint);
    publishChanges();
}

void ClipboardStore::applyOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint)
{
    if (!isLiveImage(fingerprint))
        return;
    if (status) {
        auto it = ocrStatuses_.find(fingerprint);
        if (it == ocrStatuses_.end() || it.value() != *status) {
            ocrStatuses_.insert(fingerprint, *status);
            ocrStatusesDirty_ = true;
        }
    } else if (ocrStatuses_.remove(fingerprint)) {
        ocrStatusesDirty_ = true;
    }
    if (status == OCRStatus::processing) {
        if (!ocrInProgress_.contains(fingerprint)) {
            ocrInProgress_.insert(fingerprint);
            ocrInProgressDirty_ = true;
        }
    } else if (ocrInProgress_.remove(fingerprint)) {
        ocrInProgressDirty_ = true;
    }
}

std::optional<QUuid> ClipboardStore::beginOCR(const QUuid& itemID)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return std::nullopt;
    const Entry* entry = firstWithId(itemID);
    if (!entry || entry->fingerprint.isEmpty())
        return std::nullopt;
    const QString fingerprint = entry->fingerprint;
    if (ocrInProgress_.contains(fingerprint))
        return std::nullopt;
    const QUuid token = QUuid::createUuid();
    ocrRequests_.insert(fingerprint, OCRRequest{token, itemID});
    applyOCRStatus(OCRStatus::processing, fingerprint);
    publishChanges();
    return token;
}

void ClipboardStore::finishOCR(const QUuid& token, const QString& fingerprint, std::optional<OCRStatus> status,
                               const std::optional<QString>& recognizedText)
{
    auto request = ocrRequests_.constFind(fingerprint);
    if (request == ocrRequests_.cend() || request->token != token)
        return;
    const QUuid itemID = request->itemID;
    bool found = false;
    for (auto it = byId_.constFind(itemID); it != byId_.cend() && it.key() == itemID; ++it) {
        if (it.value()->fingerprint == fingerprint) {
            found = true;
            break;
        }
    }
    if (!found)
        return;
    // The text goes in before the status is set; both are announced together.
    if (recognizedText)
        applyRecognizedText(*recognizedText, fingerprint, itemID);
    applyOCRStatus(status, fingerprint);
    ocrRequests_.remove(fingerprint);
    publishChanges();
}

void ClipboardStore::setOCRProcessing(bool processing, const QString& fingerprint)
{
    if (processing) {
        setOCRStatus(OCRStatus::processing, fingerprint);
        return;
    }
    auto it = ocrStatuses_.constFind(fingerprint);
    if (it != ocrStatuses_.cend() && it.value() == OCRStatus::processing) {
        setOCRStatus(std::nullopt, fingerprint);
        return;
    }
    if (ocrInProgress_.remove(fingerprint))
        ocrInProgressDirty_ = true;
    publishChanges();
}

void ClipboardStore::updateRecognizedText(const QString& text, const QString& fingerprint,
                                          const std::optional<QUuid>& itemID)
{
    applyRecognizedText(text, fingerprint, itemID);
    publishChanges();
}

void ClipboardStore::applyRecognizedText(const QString& text, const QString& fingerprint,
                                         const std::optional<QUuid>& itemID)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    if (TextLimits::isBlank(text))
        return;
    Entry* target = nullptr;
    if (itemID) {
        // The first clip with that id that carries this image.
        size_t best = order_.size();
        for (auto it = byId_.constFind(*itemID); it != byId_.cend() && it.key() == *itemID; ++it) {
            if (it.value()->fingerprint != fingerprint)
                continue;
            const size_t position = positionOf(it.value());
            if (!target || position < best) {
                target = it.value();
                best = position;
            }
        }
    } else if (isLiveImage(fingerprint)) {
        for (Entry* entry : order_) {
            if (entry->fingerprint == fingerprint) {
                target = entry;
                break;
            }
        }
    }
    if (!target)
        return;
    isBatchingMutation_ = true;
    const size_t position = positionOf(target);
    ClipboardItem updated = items_.at(static_cast<qsizetype>(position));
    updated.content().imageValue().setRecognizedText(text);
    replaceItemInPlace(position, std::move(updated));
    itemsChangedBy();
    isBatchingMutation_ = false;
    persist();
}

// Drops the requests whose clip is gone (or no longer carries the image it asked about), and the
// statuses and in-progress marks of images no clip carries any more.
void ClipboardStore::pruneOCRState()
{
    for (auto it = ocrRequests_.begin(); it != ocrRequests_.end();) {
        const QString& fingerprint = it.key();
        const QUuid itemID = it->itemID;
        bool alive = false;
        for (auto e = byId_.constFind(itemID); e != byId_.cend() && e.key() == itemID; ++e) {
            if (e.value()->fingerprint == fingerprint) {
                alive = true;
                break;
            }
        }
        if (alive) {
            ++it;
            continue;
        }
        if (ocrStatuses_.remove(fingerprint))
            ocrStatusesDirty_ = true;
        if (ocrInProgress_.remove(fingerprint))
            ocrInProgressDirty_ = true;
        it = ocrRequests_.erase(it);
    }
    for (const QString& fingerprint : std::as_const(vanishedFingerprints_)) {
        if (isLiveImage(fingerprint))
            continue;
        if (ocrStatuses_.remove(fingerprint))
            ocrStatusesDirty_ = true;
        if (ocrInProgress_.remove(fingerprint))
            ocrInProgressDirty_ = true;
    }
    vanishedFingerprints_.clear();
}

} // namespace tolvi
