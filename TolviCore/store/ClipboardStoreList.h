#pragma once

// The store's private view of its sorted list, shared by the files that define ClipboardStore:
// what it keeps beside each clip, the index of the whole list, and the one-pass removal the trims
// and edits use.

#include "TolviCore/store/ClipboardStore.h"

#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QUuid>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

namespace tolvi {

// What the store keeps beside each clip of `items_`, at the same index of the index's `order`:
// the fields that place it in the list and in the indexes.
struct ClipboardStore::Entry {
    QUuid id;
    bool pinned = false;
    double createdAt = 0;
    size_t keyHash = 0; // of the de-duplication key in canonical form (keyHashOf)
    // An image clip's image (sharing its bytes and fingerprint with the clip); none for a text.
    std::optional<ClipboardImage> image;
    // Whether the image's fingerprint is counted in the index's `imageCounts`: only fingerprints
    // worked out already are, the others when the OCR bookkeeping needs them (fingerprintOf).
    bool fingerprintCounted = false;
    qint64 bytes = 0; // storage estimate
};

// The entries of a list in list order, and what finds them: by the hashes of their keys, by id
// and by their images' quick keys, with the totals the limits read. It owns its entries. The
// index of a whole new list is built apart from the store, on any thread (preparedList), and
// taken on in one step.
struct ClipboardStore::ListIndex {
    std::deque<Entry*> order;
    QMultiHash<size_t, Entry*> byKey; // by keyHashOf
    QMultiHash<QUuid, Entry*> byId;
    // Image clips by their images' quick keys (ClipboardImage::quickKey).
    QMultiHash<size_t, Entry*> imagesByQuickKey;
    // Per fingerprint worked out, the image clips counted with it and the images' quick key.
    // Image clips whose fingerprint is not counted yet: `uncountedImages`.
    struct ImageCount {
        qsizetype count = 0;
        size_t quickKey = 0;
    };
    QHash<QString, ImageCount> imageCounts;
    qsizetype uncountedImages = 0;
    qint64 totalBytes = 0;
    qsizetype pinnedCount = 0;

    ListIndex() = default;
    ListIndex(const ListIndex&) = delete;
    ListIndex& operator=(const ListIndex&) = delete;
    ~ListIndex();

    // Puts an entry in the indexes (not in `order`). A fingerprint worked out already is counted.
    void attach(Entry* entry);
    // Counts an attached image clip's fingerprint, working it out if need be.
    void count(Entry* entry);
};

struct ClipboardStore::PreparedList {
    QList<ClipboardItem> items;
    std::unique_ptr<ListIndex> index;
};

// Removes every clip for which `doomed` holds from position `first` on, keeping the order of the
// rest: one pass over that stretch of the list.
template <typename Predicate>
void ClipboardStore::eraseFrom(size_t first, Predicate doomed)
{
    ownItems();
    size_t write = first;
    for (size_t read = first; read < index_->order.size(); ++read) {
        Entry* entry = index_->order[read];
        if (doomed(entry)) {
            detachEntry(entry);
            delete entry;
            continue;
        }
        if (write != read) {
            index_->order[write] = entry;
            items_[static_cast<qsizetype>(write)] = std::move(items_[static_cast<qsizetype>(read)]);
        }
        ++write;
    }
    index_->order.erase(index_->order.begin() + static_cast<std::ptrdiff_t>(write), index_->order.end());
    items_.remove(static_cast<qsizetype>(write), items_.size() - static_cast<qsizetype>(write));
}

} // namespace tolvi
