// Handing the history to the persistence, and the storage and capture issues that come of it.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <QPointer>
#include <QTimer>

#include <utility>

namespace tolvi {

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
        ++heldSaves_;
        return;
    }
    const ClipboardHistoryState state = currentState();
    const qint64 generation = ++persistenceGeneration_;
    if (auto* async = dynamic_cast<ClipboardHistoryAsyncPersisting*>(persistence_.get())) {
        QPointer<ClipboardStore> weakSelf(this);
        async->enqueueSave(state, [weakSelf, generation](const SaveResult& result) {
            ClipboardStore* self = weakSelf.data();
            if (!self)
                return;
            self->dropUnreadableImages(result.leftOutClips());
            if (self->persistenceGeneration_ != generation)
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

// Clips whose images could no longer be read from the history file they were kept in, which
// changed under the program: the save left them out, and they go from the list too, while they
// still hold those bytes.
void ClipboardStore::dropUnreadableImages(const QList<LeftOutClip>& clips)
{
    bool dropped = false;
    for (const LeftOutClip& clip : clips) {
        Entry* entry = firstWithId(clip.id);
        if (!entry || !entry->image || entry->image->bytesIdentity() != clip.bytes)
            continue;
        eraseAt(positionOf(entry));
        dropped = true;
        qWarning("Tolvi dropped an image clip whose bytes could no longer be read from the history file");
    }
    if (!dropped)
        return;
    setLastCaptureIssue(QStringLiteral("An image could no longer be read from the history file, which was changed "
                                       "outside Tolvi. It was removed from the history."));
    itemsChangedBy();
    publishChanges();
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

} // namespace tolvi
