// The sorted list of clips and the indexes beside it.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/store/ClipListCopier.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <algorithm>
#include <vector>

namespace tolvi {

namespace {

// List order: pinned clips first, then newer creation time first.
inline bool precedes(bool pinnedA, double timeA, bool pinnedB, double timeB)
{
    if (pinnedA != pinnedB)
        return pinnedA;
    return timeA > timeB;
}

} // namespace

// MARK: - The sorted list and its indexes
//
// `items_` is the published list itself, so handing the state to the save queue or to a window
// copies nothing. It is kept like a double-ended queue: a clip is inserted or removed by moving
// the shorter side of the list (a prepend or a removal at either end costs nothing in a QList
// of its own), so a new clip, which lands right behind the pinned ones, costs time in proportion
// to the pinned clips, not to the history.
//
// A QList shared with the save queue or a window is copied whole by its first change. So while
// the list is held elsewhere, the copier makes a private copy of it on its own thread, and the
// next change adopts that copy instead (ownItems) and lets go of the shared one there too.

// Before every change of `items_` in place.
void ClipboardStore::ownItems()
{
    std::optional<QList<ClipboardItem>> copy = listCopier_->take(itemsVersion_);
    if (copy && !items_.isDetached())
        listCopier_->release(std::exchange(items_, std::move(*copy)));
    else if (copy)
        listCopier_->release(std::move(*copy));
    ++itemsVersion_;
}

// After a published change: once the event loop comes round, a list that the save queue or a
// window still holds is copied ahead for the next change. (References that only last as long
// as the change, such as a save that completes at once, ask for no copy.)
void ClipboardStore::copyItemsAhead()
{
    if (std::exchange(copyAheadPosted_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            copyAheadPosted_ = false;
            if (!items_.isDetached())
                listCopier_->prepare(items_, itemsVersion_);
        },
        Qt::QueuedConnection);
}

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
    if (const ClipboardImage* image = item.content().imageIf())
        entry->image = *image;
    else
        entry->image.reset();
    entry->fingerprintCounted = false;
    entry->bytes = estimatedStorageBytes(item);
}

void ClipboardStore::listInsert(size_t position, ClipboardItem item, Entry* entry)
{
    ownItems();
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
    index_->order.insert(index_->order.begin() + static_cast<std::ptrdiff_t>(position), entry);
}

void ClipboardStore::listErase(size_t position)
{
    ownItems();
    const qsizetype pos = static_cast<qsizetype>(position);
    if (pos < items_.size() / 2) {
        // Shift the clips before it one step back over it, then drop the first slot.
        auto first = items_.begin();
        std::move_backward(first, first + pos, first + pos + 1);
        items_.removeFirst();
    } else {
        items_.remove(pos);
    }
    index_->order.erase(index_->order.begin() + static_cast<std::ptrdiff_t>(position));
}

// Puts a clip at its place in list order: ahead of the clips with the same pin state and creation
// time, or behind them when `afterTies` is set.
void ClipboardStore::insertItem(ClipboardItem item, bool afterTies)
{
    Entry* entry = makeEntry(item);
    const bool pinned = entry->pinned;
    const double time = entry->createdAt;
    const std::deque<Entry*>& order = index_->order;
    auto position = std::partition_point(order.begin(), order.end(), [&](const Entry* other) {
        if (afterTies)
            return !precedes(pinned, time, other->pinned, other->createdAt);
        return precedes(other->pinned, other->createdAt, pinned, time);
    });
    listInsert(static_cast<size_t>(position - order.begin()), std::move(item), entry);
    attachIndexes(entry);
}

ClipboardStore::ListIndex::~ListIndex()
{
    for (Entry* entry : order)
        delete entry;
}

void ClipboardStore::ListIndex::attach(Entry* entry)
{
    byKey.insert(entry->keyHash, entry);
    byId.insert(entry->id, entry);
    if (entry->image) {
        imagesByQuickKey.insert(entry->image->quickKey(), entry);
        ++uncountedImages;
        // A fingerprint worked out already (a new copy's, or one a window asked for) costs
        // nothing to count.
        if (entry->image->hasFingerprint())
            count(entry);
    }
    totalBytes += entry->bytes;
    if (entry->pinned)
        ++pinnedCount;
}

void ClipboardStore::ListIndex::count(Entry* entry)
{
    ImageCount& counted = imageCounts[entry->image->fingerprint()];
    ++counted.count;
    counted.quickKey = entry->image->quickKey();
    entry->fingerprintCounted = true;
    --uncountedImages;
}

void ClipboardStore::attachIndexes(Entry* entry)
{
    index_->attach(entry);
    if (entry->fingerprintCounted)
        vanishedFingerprints_.remove(entry->image->fingerprint());
}

// Takes an entry out of the indexes (not out of the list); the caller erases or deletes it.
void ClipboardStore::detachEntry(Entry* entry)
{
    index_->byKey.remove(entry->keyHash, entry);
    index_->byId.remove(entry->id, entry);
    if (entry->image) {
        index_->imagesByQuickKey.remove(entry->image->quickKey(), entry);
        if (entry->fingerprintCounted) {
            const QString& fingerprint = entry->image->fingerprint();
            auto it = index_->imageCounts.find(fingerprint);
            if (it != index_->imageCounts.end() && --it->count <= 0) {
                vanishedFingerprints_.insert(fingerprint, it->quickKey);
                index_->imageCounts.erase(it);
            }
            entry->fingerprintCounted = false;
        } else {
            --index_->uncountedImages;
        }
    }
    index_->totalBytes -= entry->bytes;
    if (entry->pinned)
        --index_->pinnedCount;
}

void ClipboardStore::eraseAt(size_t position)
{
    Entry* entry = index_->order[position];
    detachEntry(entry);
    listErase(position);
    delete entry;
}

// Position of an entry in the list: a binary search to the clips of its pin state and creation
// time, then a walk through those ties.
size_t ClipboardStore::positionOf(const Entry* entry) const
{
    const std::deque<Entry*>& order = index_->order;
    auto it = std::partition_point(order.begin(), order.end(), [&](const Entry* other) {
        return precedes(other->pinned, other->createdAt, entry->pinned, entry->createdAt);
    });
    for (; it != order.end(); ++it) {
        if (*it == entry)
            return static_cast<size_t>(it - order.begin());
    }
    Q_ASSERT_X(false, "ClipboardStore", "entry missing from the list");
    return order.size();
}

// The index holds hashes of the keys, not the keys: a text's key would be a second copy of the
// text. A hash of a canonical key is built without building the key where that can be: the
// canonical form of "text:" and a text is "text:" and the text's canonical form (no character
// composes with a colon), so a text clip's hash is that of its canonical text; an image's key is
// "image:" and its fingerprint, so an image clip's hash is that of its image's quick key (equal
// fingerprints mean equal bytes, and equal bytes have equal quick keys): no image is hashed whole
// until it meets another one with its quick key. With an original payload the key is made of the
// content's key and the payload's fingerprint (hexadecimal digits, canonical as they are). A key
// is hashed as the UTF-8 bytes of its canonical form (ClipboardContent::hashOfKey()), so that a
// text held as bytes is hashed without being turned into a QString. Clips whose keys are equal
// always have equal hashes, and every match on a hash is checked against the key itself.
size_t ClipboardStore::keyHashOf(const ClipboardItem& item)
{
    const ClipboardContent& content = item.content();
    const ClipboardImage* image = content.imageIf();
    if (!item.originalPayload())
        return image ? imageKeyHash(*image) : content.textKeyHash();
    if (image)
        return qHash(item.originalPayload()->fingerprint(), imageKeyHash(*image));
    const std::optional<QByteArrayView> utf8 = content.utf8TextIf();
    const QString& fingerprint = item.originalPayload()->fingerprint();
    if (utf8 && QtPrivate::isAscii(QStringView(fingerprint))) {
        // As ClipboardItem::dedupeKey() builds it: the length is that of the text as it is.
        const QByteArrayView textPrefix("text:");
        const QByteArray canonical = UnicodeText::isCanonical(*utf8)
                                         ? QByteArray::fromRawData(utf8->data(), utf8->size())
                                         : UnicodeText::canonicalForm(content.transientText()).toUtf8();
        QByteArray key;
        key.reserve(canonical.size() + fingerprint.size() + 40);
        key += "original:";
        key += QByteArray::number(textPrefix.size() + utf8->size());
        key += ':';
        key += textPrefix;
        key += canonical;
        key += ':';
        key += fingerprint.toLatin1();
        return ClipboardContent::hashOfKey(key);
    }
    return ClipboardContent::hashOfKey(UnicodeText::canonicalForm(item.dedupeKey()).toUtf8());
}

size_t ClipboardStore::imageKeyHash(const ClipboardImage& image)
{
    return qHash(image.quickKey(), QHashSeed::globalSeed());
}

bool ClipboardStore::hasKey(const Entry* entry, const QString& key) const
{
    return canonicalKeyAt(static_cast<qsizetype>(positionOf(entry))) == key;
}

ClipboardStore::Entry* ClipboardStore::firstWithKey(size_t hash, const QString& key) const
{
    Entry* first = nullptr;
    size_t firstPosition = 0;
    for (auto it = index_->byKey.constFind(hash); it != index_->byKey.cend() && it.key() == hash; ++it) {
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
    return index_->order[static_cast<size_t>(index)]->keyHash;
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
    for (auto it = index_->byId.constFind(id); it != index_->byId.cend() && it.key() == id; ++it) {
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

// Replaces the whole list: the list and its index are made first (as on another thread), then
// taken on at once.
void ClipboardStore::assignItems(const QList<ClipboardItem>& items, bool sortItems)
{
    adoptList(preparedList(items, sortItems));
}

ClipboardStore::PreparedList ClipboardStore::preparedList(QList<ClipboardItem> list, bool sortItems)
{
    if (sortItems) {
        const auto inListOrder = [](const ClipboardItem& a, const ClipboardItem& b) {
            return precedes(a.isPinned(), a.createdAt(), b.isPinned(), b.createdAt());
        };
        if (!std::is_sorted(list.cbegin(), list.cend(), inListOrder))
            std::stable_sort(list.begin(), list.end(), inListOrder);
    }
    // On one thread: helper threads would finish sooner but cost more in all, each with a heap
    // of its own to grow for the entries it makes.
    auto index = std::make_unique<ListIndex>();
    index->byKey.reserve(list.size());
    index->byId.reserve(list.size());
    for (const ClipboardItem& item : std::as_const(list)) {
        Entry* entry = makeEntry(item);
        index->order.push_back(entry);
        index->attach(entry);
    }
    return PreparedList{std::move(list), std::move(index)};
}

// Takes on a prepared list in place of the store's: the old list and index are let go of on the
// copier's thread, so that this costs the main thread a step per image fingerprint, not per clip.
void ClipboardStore::adoptList(PreparedList list)
{
    // The fingerprints of the clips that go have vanished unless clips that come carry them.
    for (auto it = index_->imageCounts.cbegin(); it != index_->imageCounts.cend(); ++it)
        vanishedFingerprints_.insert(it.key(), it->quickKey);
    for (auto it = list.index->imageCounts.cbegin(); it != list.index->imageCounts.cend(); ++it)
        vanishedFingerprints_.remove(it.key());
    listCopier_->release(std::exchange(items_, std::move(list.items)));
    listCopier_->release(std::shared_ptr<const void>(std::exchange(index_, std::move(list.index))));
    ++itemsVersion_;
    itemsChangedBy();
}

// Replaces a clip where it stands in the list (for changes that keep its place).
void ClipboardStore::replaceItemInPlace(size_t position, ClipboardItem item)
{
    Entry* entry = index_->order[position];
    detachEntry(entry);
    refreshDerived(entry, item);
    ownItems();
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

} // namespace tolvi
