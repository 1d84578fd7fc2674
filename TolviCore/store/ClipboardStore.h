#pragma once

#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/ClipboardSourceApp.h"
#include "TolviCore/model/Pinboard.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace tolvi {

class ClipboardHistoryPersisting;
class ClipListCopier;
struct LeftOutClip;
class SerialQueue;

// The one history store of the program: the clips in list order (pinned first, then newest
// first), the boards in the user's order, the OCR bookkeeping of every image, and the storage
// and capture issues the windows show. Lives on the main thread; every published field has its
// own change signal, emitted once at the end of the operation that changed it (when an operation
// changes both the clips and the boards, both are in place before either signal goes out).
//
// Recording, edits, pins and trims change the published state first and hand it to the
// persistence afterwards (in the background when the persistence is asynchronous). Board
// operations and imports write the whole new history before they publish it: synchronously, or
// (the board operations' Async forms) on a thread of their own while the main thread goes on.
//
// The published list is the storage itself, so a state for the save queue costs no copy. Beside
// it the store keeps, per clip, its place in list order (pinned state, creation time) and a
// de-duplication-key index (hashes of the keys in canonical form), an id index, a running
// storage estimate and per-fingerprint image counts, so that recording, eviction and OCR
// bookkeeping cost time in proportion to what they change, not to the size of the history.
class ClipboardStore : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        // Most unpinned clips kept; nothing means no limit.
        std::optional<qint64> maxItems;
        // Longest text accepted, in user-perceived characters.
        qint64 maxCharactersPerItem = 50'000;
        // Largest image accepted, in bytes of image data.
        qint64 maxImageBytes = 12'000'000;
        // Byte budget of the whole history; 0 or less turns it off.
        qint64 maxHistoryBytes = 500'000'000;

        // 80 clips, 50,000 characters, 12,000,000 image bytes, 500,000,000 history bytes.
        static Configuration standard();

        friend bool operator==(const Configuration&, const Configuration&) = default;
    };

    enum class StorageIssue { loadFailed, saveFailed };

    enum class OCRStatus { processing, noText, failed, unsupportedImage, timedOut, busy, cancelled };

    // Takes ownership (shared with any background work of the persistence) and loads at once.
    ClipboardStore(std::shared_ptr<ClipboardHistoryPersisting> persistence, Configuration configuration,
                   QObject* parent = nullptr);
    ~ClipboardStore() override;

    ClipboardStore(const ClipboardStore&) = delete;
    ClipboardStore& operator=(const ClipboardStore&) = delete;

    // Published fields.
    std::optional<StorageIssue> storageIssue() const { return storageIssue_; }
    const std::optional<QString>& lastCaptureIssue() const { return lastCaptureIssue_; }
    const QHash<QString, OCRStatus>& ocrStatuses() const { return ocrStatuses_; }
    const QSet<QString>& ocrInProgress() const { return ocrInProgress_; }
    // The status of an image and whether its recognition is under way, asked without working out
    // its fingerprint where no image with its quick key has any OCR state (as for nearly every
    // image a view paints): cheap on the main thread.
    std::optional<OCRStatus> ocrStatusOf(const ClipboardImage& image) const;
    bool isRecognizing(const ClipboardImage& image) const;
    // The history in list order (an implicitly shared copy: cheap to take and to keep).
    QList<ClipboardItem> items() const { return items_; }
    const QList<Pinboard>& pinboards() const { return pinboards_; }

    const Configuration& configuration() const { return configuration_; }

    // Cheap access without building the whole list.
    qsizetype itemCount() const { return items_.size(); }
    const ClipboardItem& itemAt(qsizetype index) const;
    // The first clip in list order with that id.
    std::optional<ClipboardItem> item(const QUuid& id) const;

    QList<ClipboardItem> pinnedItems() const;
    QList<ClipboardItem> recentItems() const;
    QList<ClipboardItem> items(const Pinboard& board) const;

    // Recording. The text entry refuses a blank text; the content entry applies every limit.
    // True when a clip was stored (also when the byte budget evicted it again at once).
    bool record(const QString& text, double createdAt, std::optional<ClipboardSourceApp> sourceApp = std::nullopt,
                std::optional<ClipboardOriginalPayload> originalPayload = std::nullopt);
    bool record(const ClipboardContent& content, double createdAt,
                std::optional<ClipboardSourceApp> sourceApp = std::nullopt,
                std::optional<ClipboardOriginalPayload> originalPayload = std::nullopt);

    // Limits.
    void updateRecentLimit(std::optional<qint64> limit, bool trimExisting);

    // Edits, pins and saving.
    void remove(const ClipboardItem& item);
    void removeItems(double createdAfter);
    bool updateText(const QString& text, const ClipboardItem& item);
    void togglePinned(const ClipboardItem& item);
    void togglePinboard(const Pinboard& board, const ClipboardItem& item);
    void clear();
    // After a failed load, loads again; after a failed save, saves the current history again.
    void retryStorage();
    // Writes what waits to be written, and the current history again when saving has failed
    // (quitting calls this). Throws ClipboardHistoryImportError(storageUnavailable) while the
    // load has failed, and the persistence's own error when the history could not be written.
    void flushPersistence();
    // While saving fails, the current history is saved again at this interval (and on every
    // change).
    static constexpr std::chrono::milliseconds defaultSaveRetryInterval{30'000};
    void setSaveRetryInterval(std::chrono::milliseconds interval);

    // OCR bookkeeping, keyed by image fingerprint.
    std::optional<QUuid> beginOCR(const QUuid& itemID);
    void finishOCR(const QUuid& token, const QString& fingerprint, std::optional<OCRStatus> status,
                   const std::optional<QString>& recognizedText);
    void setOCRProcessing(bool processing, const QString& fingerprint);
    void setOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint);
    void updateRecognizedText(const QString& text, const QString& fingerprint,
                              const std::optional<QUuid>& itemID = std::nullopt);

    // Board operations: validated, written synchronously, then published. They throw
    // ClipboardHistoryImportError, or the persistence's own error when the write fails.
    Pinboard createPinboard(const QString& name, const QString& systemName);
    void renamePinboard(const QUuid& id, const QString& name);
    void deletePinboard(const QUuid& id);
    void reorderPinboards(const QList<QUuid>& ids);

    // The board operations with the write off the main thread, for windows that must not freeze
    // while a large history is written. The checks run at once and refuse by throwing, exactly
    // as above; then the whole new history is written on another thread and the call returns.
    // The store's own saves wait meanwhile, so the file never ends up with older boards than
    // the store shows: clips recorded or changed during the write are kept, get the board change
    // too (a deleted board leaves them as well), and are saved right after it. `done` is called
    // on the main thread: with nothing once the change is on disk and published; with the write
    // error's description when it failed, after saveFailed was reported and with the boards left
    // as they were. Never called once the store is gone.
    //
    // One board change is written at a time: a board operation or import asked for while one is
    // being written first waits for it (the window takes none meanwhile), and so does flushing.
    using BoardChangeCompletion = std::function<void(const std::optional<QString>& failure)>;
    void createPinboardAsync(const QString& name, const QString& systemName, BoardChangeCompletion done);
    void renamePinboardAsync(const QUuid& id, const QString& name, BoardChangeCompletion done);
    void deletePinboardAsync(const QUuid& id, BoardChangeCompletion done);
    void reorderPinboardsAsync(const QList<QUuid>& ids, BoardChangeCompletion done);
    // Published: a board change is being written.
    bool isSavingBoards() const { return bool(boardWrite_); }

    // Archive export and import. Import only adds clips and boards, unites pins and board
    // memberships and fills in what a present clip lacks; a merge is written synchronously before
    // it is published.
    QByteArray archiveData() const;
    ClipboardImportPreview previewImport(QByteArrayView data);
    ClipboardImportPreview mergeImport(QByteArrayView data);
    // The same for an archive decoded once (ClipboardHistoryArchive::decode or read), so that a
    // preview and the merge that follows it parse the bytes once. The state is checked again.
    ClipboardImportPreview previewImport(const ClipboardHistoryState& archive);
    ClipboardImportPreview mergeImport(const ClipboardHistoryState& archive);
    // The merge with every pass over the clips and the write off the main thread. Throws at once
    // only while the history cannot be used (storageUnavailable); the archive is checked and
    // merged on the board writer's thread, and a refusal there is reported through `done` with
    // its message (the history and the storage state stay as they were). Otherwise the history
    // stays as it is until the merged history is on disk, then the merge is published and `done`
    // is called. Clips changed meanwhile are merged again with the archive (off the main thread
    // as well), published together with it and saved right after.
    void mergeImportAsync(const ClipboardHistoryState& archive, BoardChangeCompletion done);

    // What an import merges into, taken on the main thread: the clips (shared, not copied), the
    // hashes of their de-duplication keys, the boards and the per-clip limits. mergedHistory()
    // works the merge out from it on any thread, so a window can preview an import off the main
    // thread.
    struct ImportBasis {
        QList<ClipboardItem> items;
        std::vector<size_t> keyHashes;
        QList<Pinboard> pinboards;
        qint64 maxCharactersPerItem = 0;
        qint64 maxImageBytes = 0;
    };
    // Throws ClipboardHistoryImportError(storageUnavailable) while the history cannot be used.
    ImportBasis importBasis() const;
    // The archive merged into the basis: the merged history, sorted as the store keeps it, and its
    // counts. Refuses by throwing ClipboardHistoryImportError: an archive clip over a limit, and
    // (with `checkTotals`) a merged history over maximumMergedItems or maximumBoards. Touches no
    // store: any thread.
    static std::pair<ClipboardHistoryState, ClipboardImportPreview>
    mergedHistory(const ImportBasis& basis, const ClipboardHistoryState& archive, bool checkTotals = true);

    // Storage estimate of one clip, as the byte budget counts it.
    static qint64 estimatedStorageBytes(const ClipboardItem& item);

    // Most clips and boards a history may hold after an import; most boards creation allows.
    static constexpr qsizetype maximumMergedItems = 20'000;
    static constexpr qsizetype maximumBoards = 500;

signals:
    void storageIssueChanged();
    void lastCaptureIssueChanged();
    void ocrStatusesChanged();
    void ocrInProgressChanged();
    void itemsChanged();
    void pinboardsChanged();
    void savingBoardsChanged();

private:
    struct Entry;
    struct ListIndex;
    // A list in the store's order with its index, made on any thread and taken on whole.
    struct PreparedList;
    struct OCRRequest {
        QUuid token;
        QUuid itemID;
    };

    // Loading and the list.
    void load();
    void assignItems(const QList<ClipboardItem>& items, bool sortItems);
    // `sortItems` sorts the list by list order (stable), otherwise it must be sorted already.
    static PreparedList preparedList(QList<ClipboardItem> items, bool sortItems);
    void adoptList(PreparedList list);
    void assignPinboards(QList<Pinboard> boards);
    static Entry* makeEntry(const ClipboardItem& item);
    static void refreshDerived(Entry* entry, const ClipboardItem& item);
    void ownItems();
    void copyItemsAhead();
    void listInsert(size_t position, ClipboardItem item, Entry* entry);
    void listErase(size_t position);
    void insertItem(ClipboardItem item, bool afterTies);
    void attachIndexes(Entry* entry);
    void detachEntry(Entry* entry);
    void eraseAt(size_t position);
    template <typename Predicate>
    void eraseFrom(size_t first, Predicate doomed);
    size_t positionOf(const Entry* entry) const;
    static size_t keyHashOf(const ClipboardItem& item);
    static size_t imageKeyHash(const ClipboardImage& image);
    bool hasKey(const Entry* entry, const QString& key) const;
    Entry* firstWithKey(size_t hash, const QString& key) const;
    QString canonicalKeyAt(qsizetype index) const;
    size_t keyHashAt(qsizetype index) const;
    Entry* firstWithId(const QUuid& id) const;
    void replaceItemInPlace(size_t position, ClipboardItem item);
    void replaceItemAndReposition(size_t position, ClipboardItem item, bool afterTies);
    void itemsChangedBy(bool pruneNeeded = true);

    // Limits.
    void trimToLimit();
    void trimToStorageLimit();

    // Saving.
    void persist();
    void dropUnreadableImages(const QList<LeftOutClip>& clips);
    void setStorageIssue(std::optional<StorageIssue> issue);
    void setLastCaptureIssue(std::optional<QString> issue);
    void publishChanges();

    // OCR.
    void pruneOCRState();
    void applyOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint);
    void applyRecognizedText(const QString& text, const QString& fingerprint, const std::optional<QUuid>& itemID);
    bool isLiveImage(const QString& fingerprint);
    template <typename Fingerprints>
    bool mayHoldStateOf(const Fingerprints& fingerprints, const ClipboardImage& image) const;
    const QString& fingerprintOf(Entry* entry);
    bool carriesImage(Entry* entry, const QString& fingerprint);
    void countFingerprint(Entry* entry);
    void countFingerprintsWithQuickKey(size_t quickKey);
    void countAllFingerprints();

    ClipboardHistoryState currentState() const;

    // Boards and import.
    struct BoardChange {
        ClipboardHistoryState state;
        // A deleted board, whose id comes off every clip.
        std::optional<QUuid> removedBoard;
    };
    struct BoardWrite;
    BoardChange preparedCreate(const QString& name, const QString& systemName, Pinboard* made) const;
    BoardChange preparedRename(const QUuid& id, const QString& name) const;
    BoardChange preparedDelete(const QUuid& id) const;
    BoardChange preparedReorder(const QList<QUuid>& ids) const;
    SerialQueue& beginBoardWrite(const std::shared_ptr<BoardWrite>& write);
    void commitInBackground(BoardChange change, BoardChangeCompletion done);
    void finishBoardWrite();
    // `mayDefer`: an import whose clips changed meanwhile is merged again on the writer's thread
    // (and the write stays under way); otherwise, as when a caller waits for it, here and now.
    void boardWriteFinished(const std::shared_ptr<BoardWrite>& write, bool mayDefer = true);
    void commit(const ClipboardHistoryState& state);
    QString validatedBoardName(const QString& name, const std::optional<QUuid>& excluding) const;
    void requireHealthyStorage() const;
    std::pair<ClipboardHistoryState, ClipboardImportPreview> importCandidate(const ClipboardHistoryState& archive,
                                                                             bool checkTotals = true) const;
    ImportBasis currentImportBasis() const;
    void remergeImport(const std::shared_ptr<BoardWrite>& written);

    std::shared_ptr<ClipboardHistoryPersisting> persistence_;
    Configuration configuration_;

    std::optional<StorageIssue> storageIssue_;
    std::optional<QString> lastCaptureIssue_;
    QHash<QString, OCRRequest> ocrRequests_;
    QHash<QString, OCRStatus> ocrStatuses_;
    QSet<QString> ocrInProgress_;
    QList<Pinboard> pinboards_;

    // The clips in list order, and beside them their index (ClipboardStoreList.h).
    QList<ClipboardItem> items_;
    std::unique_ptr<ListIndex> index_;
    // Fingerprints whose last counted clip went, with their quick keys, for pruneOCRState.
    QHash<QString, size_t> vanishedFingerprints_;
    // Counts the changes of `items_`; the copier's copies are known by it.
    quint64 itemsVersion_ = 1;
    bool copyAheadPosted_ = false;
    std::unique_ptr<ClipListCopier> listCopier_;

    bool isLoading_ = false;
    bool isBatchingMutation_ = false;
    qint64 persistenceGeneration_ = 0;

    bool storageIssueDirty_ = false;
    bool lastCaptureIssueDirty_ = false;
    bool ocrStatusesDirty_ = false;
    bool ocrInProgressDirty_ = false;
    bool itemsDirty_ = false;
    bool pinboardsDirty_ = false;
    bool savingBoardsDirty_ = false;

    // The board change being written, and whether a save of the store's was held back meanwhile.
    std::shared_ptr<BoardWrite> boardWrite_;
    bool saveHeldForBoards_ = false;
    // Saves held back so far: tells whether clips changed while an import was merged again.
    quint64 heldSaves_ = 0;
    // The thread board changes are written on, made at the first one.
    std::unique_ptr<SerialQueue> boardWriter_;
    // Runs while saveFailed stands.
    QTimer* saveRetryTimer_ = nullptr;
};

} // namespace tolvi
