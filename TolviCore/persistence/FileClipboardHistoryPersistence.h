#pragma once

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"
#include "TolviCore/persistence/SerialQueue.h"

#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tolvi {

// The history file, "history.json": every clip and board as one JSON document, written
// atomically with owner-only permissions. All file work runs on one background thread; queued
// saves are coalesced (however many states arrive while a write runs, at most one more write
// follows, of the newest state) and their completions are handed to the main-thread executor, in
// call order, never run on the writer thread. A file that decodes in neither the object form nor
// the older bare-array form gets a dated private copy ("history.corrupt-<unix seconds>.json")
// and is never changed by loading. The file is read through a private read-only mapping that
// keeps it as it was opened (see MappedFile::mapKept): its large images stay there until they are
// read or saved again, and a backup copied over the file, an editor saving in place or a truncation
// meanwhile changes none of them. A clip whose image can no longer be had all the same is left out
// of the save (SaveResult::leftOutClips) rather than written with other bytes. The history's folder
// must belong to the user and be writable by nobody else, or loading and saving fail with EACCES.
//
// Loading opens only a regular file of the user's own, never through a symbolic link and without
// waiting (a FIFO under the name would block for ever); anything else fails to load with a system
// error and is neither copied nor changed. A file larger than maximumFileBytes is damaged without
// being read, and no save writes one that large. A damaged file is copied only when no copy beside
// it holds the same bytes: as a second name for the same file where the file system allows it,
// else through a private temporary file that takes the dated name only once it is complete.
class FileClipboardHistoryPersistence final : public ClipboardHistoryAsyncPersisting {
public:
    using Executor = std::function<void(std::function<void()>)>;

    // The largest history file: twice the store's content budget of 500,000,000 bytes. Image data
    // and kept RTF and HTML (at most 1,000,000 bytes each, counted in the budget), the bulk of any
    // large history, grow by a third as Base64; the rest leaves room for what the budget does not
    // count (ids, dates, keys, indentation) and for escapes in texts.
    static constexpr qint64 maximumFileBytes = 1'000'000'000;

    struct Options {
        // Where completions run. Default: a queued call on the Qt application's thread.
        Executor mainExecutor;
        // Current time in whole seconds since 1970, for the corrupt copy's name.
        std::function<qint64()> unixSecondsNow;
        // Called before each write's rename (tests use it to hold a write open).
        PrivateAtomicFileWriter::BeforeReplace beforeReplace;
        // Called on each load once the file is open and mapped, before it is decoded (tests
        // change the file there).
        std::function<void()> beforeDecoding = {};
        // The size bound of the file, for reading and writing alike.
        qint64 maximumFileBytes = FileClipboardHistoryPersistence::maximumFileBytes;
    };

    explicit FileClipboardHistoryPersistence(QString filePath);
    FileClipboardHistoryPersistence(QString filePath, Options options);
    // Writes what is pending and waits for it; completions are still handed to the executor.
    ~FileClipboardHistoryPersistence() override;

    // ~/.local/share/Tolvi/history.json (the generic data folder). Without a data folder, a
    // per-user private folder: $XDG_RUNTIME_DIR/Tolvi, else /tmp/Tolvi-<uid>. Touches no file.
    static QString defaultFilePath();
    // The same for a given data folder; an empty one selects the per-user private fallback.
    static QString defaultFilePath(const QString& dataFolder);
    // The executor that posts to the Qt application's main thread.
    static Executor qtMainThreadExecutor();

    const QString& filePath() const { return filePath_; }

    ClipboardHistoryState load() override;
    void save(const ClipboardHistoryState& state) override;
    void enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion) override;
    // Writes what is pending; when the most recent write failed, writes its state again (the
    // newest state this persistence was given), and throws only when that write fails too.
    void flush() override;

private:
    void runWorker();
    // Writes the pending state, if any; whether there was one.
    bool drainPending();
    void retryUnsaved();
    // The clips left out because their images could no longer be had.
    QList<LeftOutClip> saveFile(const ClipboardHistoryState& state);
    ClipboardHistoryState loadFile();
    QByteArray corruptCopyPath() const;
    void backupCorruptHistory(int historyFd);

    QString filePath_;
    Options options_;
    std::optional<PersistenceError> lastWriteError_; // touched on the queue only
    // The newest state handed over whose write failed, until a later write succeeds; on the
    // queue only.
    std::optional<ClipboardHistoryState> unsavedState_;

    std::mutex pendingLock_;
    std::optional<ClipboardHistoryState> pendingState_;
    QList<SaveCompletion> pendingCompletions_;
    bool workerScheduled_ = false;

    // Declared last: its destructor runs the remaining tasks while everything above still exists.
    SerialQueue writeQueue_;
};

} // namespace tolvi
