// The store's lifetime, loading, reading and the announcement of its published fields. Its other
// roles live in the files beside this one: ClipboardStoreList (the sorted list and its indexes),
// ClipboardStoreRecording, ClipboardStoreLimits, ClipboardStoreEdits, ClipboardStoreSaving,
// ClipboardStoreOCR and ClipboardStoreBoards.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/SerialQueue.h"
#include "TolviCore/store/ClipListCopier.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace tolvi {

ClipboardStore::Configuration ClipboardStore::Configuration::standard()
{
    return Configuration{80, 50'000, 12'000'000, 500'000'000};
}

ClipboardStore::ClipboardStore(std::shared_ptr<ClipboardHistoryPersisting> persistence, Configuration configuration,
                               QObject* parent)
    : QObject(parent), persistence_(std::move(persistence)), configuration_(configuration),
      pinboards_(DefaultPinboards::all()), index_(std::make_unique<ListIndex>()),
      listCopier_(std::make_unique<ClipListCopier>())
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
    // Nobody observes the store before its constructor returns. Those who take the loaded list
    // from it then (the search, a window) share it: the first change needs a copy too.
    storageIssueDirty_ = lastCaptureIssueDirty_ = ocrStatusesDirty_ = ocrInProgressDirty_ = false;
    itemsDirty_ = pinboardsDirty_ = false;
    copyItemsAhead();
}

ClipboardStore::~ClipboardStore()
{
    // A board change still being written is finished first (its completion is dropped with the
    // store): the writer thread must not outlive what it reports to.
    boardWriter_.reset();
    index_.reset();
    listCopier_->release(std::exchange(items_, {}));
    listCopier_.reset();
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
    return items_.first(index_->pinnedCount);
}

QList<ClipboardItem> ClipboardStore::recentItems() const
{
    return items_.sliced(index_->pinnedCount);
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

// MARK: - Publishing

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
    if (clips) {
        emit itemsChanged();
        copyItemsAhead();
    }
    if (boards)
        emit pinboardsChanged();
    if (savingBoards)
        emit savingBoardsChanged();
}

} // namespace tolvi
