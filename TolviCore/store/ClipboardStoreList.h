#pragma once

// The store's private view of its sorted list, shared by the files that define ClipboardStore:
// what it keeps beside each clip, and the one-pass removal the trims and edits use.

#include "TolviCore/store/ClipboardStore.h"

#include <QString>
#include <QUuid>

#include <cstddef>
#include <optional>
#include <utility>

namespace tolvi {

// What the store keeps beside each clip of `items_`, at the same index of `order_`: the fields
// that place it in the list and in the indexes.
struct ClipboardStore::Entry {
    QUuid id;
    bool pinned = false;
    double createdAt = 0;
    size_t keyHash = 0; // of the de-duplication key in canonical form (keyHashOf)
    // An image clip's image (sharing its bytes and fingerprint with the clip); none for a text.
    std::optional<ClipboardImage> image;
    // Whether the image's fingerprint is counted in `imageCounts_`: only fingerprints worked out
    // already are, the others when the OCR bookkeeping needs them (fingerprintOf).
    bool fingerprintCounted = false;
    qint64 bytes = 0; // storage estimate
};

// Removes every clip for which `doomed` holds from position `first` on, keeping the order of the
// rest: one pass over that stretch of the list.
template <typename Predicate>
void ClipboardStore::eraseFrom(size_t first, Predicate doomed)
{
    ownItems();
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

} // namespace tolvi
