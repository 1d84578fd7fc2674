// The user's edits of the history: removals, pins, board memberships and text edits.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tolvi {

// MARK: - Edits

void ClipboardStore::remove(const ClipboardItem& item)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    // `item` may be a clip of the list itself (itemAt), which the first erasure can take away.
    const QUuid id = item.id();
    while (Entry* entry = firstWithId(id))
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
    // `item` may be a clip of the list itself (itemAt), which the erasures below can take away.
    const QUuid id = item.id();
    if (!firstWithId(id))
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
    const size_t keyHash = ClipboardContent::textKeyHash(text);
    std::vector<std::pair<size_t, Entry*>> equal;
    for (auto it = index_->byKey.constFind(keyHash); it != index_->byKey.cend() && it.key() == keyHash; ++it) {
        if (it.value()->id != id && hasKey(it.value(), key))
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

    Entry* entry = firstWithId(id);
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

} // namespace tolvi
