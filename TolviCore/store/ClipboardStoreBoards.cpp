// Board operations, the synchronous commit they share with the import, and the import merge.

#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/store/ClipListCopier.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/SerialQueue.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <future>

namespace tolvi {

namespace {

using Case = ClipboardHistoryImportError::Case;

[[noreturn]] void refuse(Case errorCase)
{
    throw ClipboardHistoryImportError(errorCase);
}

qsizetype indexOfBoard(const QList<Pinboard>& boards, const QUuid& id)
{
    for (qsizetype i = 0; i < boards.size(); ++i) {
        if (boards[i].id() == id)
            return i;
    }
    return -1;
}

} // namespace

// MARK: - Commit

// A board change written on the board writer's thread: the history it writes (let go of there
// once written), what is adopted once it is on disk, and the write's outcome (nothing, or the
// error's description).
struct ClipboardStore::BoardWrite {
    ClipboardHistoryState state;
    QList<Pinboard> boards;
    std::optional<QUuid> removedBoard;
    // An import's archive, and the clips of the merge being written with their index, both made
    // on the writer's thread. An import is checked and merged there: `refused` when the archive
    // was refused (no write was made). A merge again of an import already written writes
    // nothing: `remergeRound` counts them, and `heldSavesAtStart` tells whether clips changed
    // while it ran.
    std::optional<ClipboardHistoryState> importedArchive;
    std::optional<PreparedList> merged;
    bool refused = false;
    int remergeRound = 0;
    quint64 heldSavesAtStart = 0;
    BoardChangeCompletion done;
    std::promise<std::optional<QString>> outcome;
    std::shared_future<std::optional<QString>> result = outcome.get_future().share();
};

void ClipboardStore::requireHealthyStorage() const
{
    if (storageIssue_)
        refuse(Case::storageUnavailable);
}

// Writes a whole new history synchronously and publishes it only once it is on disk. Every
// background save still under way becomes stale. No limit is applied: the state is adopted as
// given.
void ClipboardStore::commit(const ClipboardHistoryState& state)
{
    requireHealthyStorage();
    ++persistenceGeneration_;
    try {
        persistence_->save(state);
    } catch (...) {
        setStorageIssue(StorageIssue::saveFailed);
        publishChanges();
        throw;
    }
    setStorageIssue(std::nullopt);
    isBatchingMutation_ = true;
    assignItems(state.items, true);
    assignPinboards(state.pinboards);
    isBatchingMutation_ = false;
    publishChanges();
}

namespace {

std::optional<QString> describedFailure(const std::function<void()>& write)
{
    try {
        write();
    } catch (const PersistenceError& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("The history could not be saved.");
    }
    return std::nullopt;
}

} // namespace

// The same commit with the write on the board writer's thread. The store's saves are held back
// until it is done (persist), so nothing of the store's reaches the file between this state and
// the one saved after it; saves asked for before it are written first (the persistence drains
// them ahead of a synchronous save).
// Makes `write` the board change under way, the store's saves held back from now on, and gives
// the thread it runs on.
SerialQueue& ClipboardStore::beginBoardWrite(const std::shared_ptr<BoardWrite>& write)
{
    boardWrite_ = write;
    saveHeldForBoards_ = false;
    savingBoardsDirty_ = true;
    if (!boardWriter_)
        boardWriter_ = std::make_unique<SerialQueue>("tolvi-boards");
    return *boardWriter_;
}

void ClipboardStore::commitInBackground(BoardChange change, BoardChangeCompletion done)
{
    requireHealthyStorage();
    ++persistenceGeneration_;
    auto write = std::make_shared<BoardWrite>();
    write->boards = change.state.pinboards;
    write->removedBoard = change.removedBoard;
    write->state = std::move(change.state);
    write->done = std::move(done);
    beginBoardWrite(write).async([this, write, persistence = persistence_] {
        std::optional<QString> failure = describedFailure([&] {
            const ClipboardHistoryState state = std::move(write->state);
            persistence->save(state);
        });
        write->outcome.set_value(std::move(failure));
        // The store outlives this task (its destructor waits for the writer), and an event
        // still queued for it when it goes is dropped with it.
        QMetaObject::invokeMethod(this, [this, write] { boardWriteFinished(write); }, Qt::QueuedConnection);
    });
    publishChanges();
}

// Waits for the board change being written, if any, and takes its outcome on at once (an import
// merged again meanwhile included).
void ClipboardStore::finishBoardWrite()
{
    while (boardWrite_) {
        const std::shared_ptr<BoardWrite> write = boardWrite_;
        write->result.wait();
        boardWriteFinished(write, false);
    }
}

namespace {

// How often an import is merged again on the writer's thread while clips keep changing, before
// the last merge is made on the main thread.
constexpr int maximumRemergeRounds = 3;

} // namespace

void ClipboardStore::boardWriteFinished(const std::shared_ptr<BoardWrite>& write, bool mayDefer)
{
    if (boardWrite_ != write)
        return;
    const std::optional<QString> failure = write->result.get();
    if (write->importedArchive && !failure) {
        // The merge as written (or as merged again); when clips changed meanwhile (their save was
        // held back), the archive is merged into the clips as they are now, and that is saved
        // right after. The archive passed its checks when it was written: clips captured
        // meanwhile may take the history past the import's totals, and none of them is lost.
        const bool changedMeanwhile =
            write->remergeRound == 0 ? saveHeldForBoards_ : heldSaves_ != write->heldSavesAtStart;
        if (changedMeanwhile) {
            if (mayDefer && write->remergeRound < maximumRemergeRounds) {
                remergeImport(write);
                return;
            }
            ClipboardHistoryState now = importCandidate(*write->importedArchive, false).first;
            write->merged = preparedList(std::move(now.items), true);
            write->boards = std::move(now.pinboards);
        }
    }
    boardWrite_.reset();
    savingBoardsDirty_ = true;
    if (failure) {
        // A refused archive wrote nothing: the storage is as it was.
        if (!write->refused)
            setStorageIssue(StorageIssue::saveFailed);
    } else {
        setStorageIssue(std::nullopt);
        isBatchingMutation_ = true;
        // The merged clips with their index, made on the writer's thread: taken on in one step.
        if (write->importedArchive)
            adoptList(std::move(*write->merged));
        // The clips as they are now, with the change applied: only the clips of a deleted board
        // change, each where it stands (its pin and time stay).
        if (write->removedBoard) {
            bool changed = false;
            for (size_t position = 0; position < index_->order.size(); ++position) {
                const ClipboardItem& clip = items_.at(static_cast<qsizetype>(position));
                if (!clip.pinboardIDs().contains(*write->removedBoard))
                    continue;
                ClipboardItem updated = clip;
                updated.pinboardIDs().removeAll(*write->removedBoard);
                replaceItemInPlace(position, std::move(updated));
                changed = true;
            }
            if (changed)
                itemsChangedBy(false);
        }
        assignPinboards(write->boards);
        isBatchingMutation_ = false;
    }
    // What changed while the write ran (and, after a failure, the state before the change) goes
    // to the file now.
    if (std::exchange(saveHeldForBoards_, false))
        persist();
    publishChanges();
    // An archive's clips are let go of off this thread too (the import flow holds no other copy).
    if (write->importedArchive)
        listCopier_->release(std::exchange(write->importedArchive->items, {}));
    if (write->done)
        write->done(failure);
}

// MARK: - Board operations

QString ClipboardStore::validatedBoardName(const QString& name, const std::optional<QUuid>& excluding) const
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || TextLimits::exceedsCharacterLimit(trimmed, ClipboardHistoryArchive::maximumBoardNameCharacters)
        || TextLimits::hasControlOrFormatCharacter(trimmed))
        refuse(Case::invalidBoardName);
    const QString folded = TextLimits::caseAndDiacriticFolded(trimmed);
    for (const Pinboard& board : pinboards_) {
        if (excluding && board.id() == *excluding)
            continue;
        if (TextLimits::caseAndDiacriticFolded(board.name()) == folded)
            refuse(Case::duplicateBoardName);
    }
    return trimmed;
}

ClipboardStore::BoardChange ClipboardStore::preparedCreate(const QString& name, const QString& systemName,
                                                           Pinboard* made) const
{
    const QString trimmed = validatedBoardName(name, std::nullopt);
    if (pinboards_.size() >= maximumBoards
        || TextLimits::exceedsCharacterLimit(systemName, ClipboardHistoryArchive::maximumBoardSymbolCharacters))
        refuse(Case::tooLarge);
    Pinboard board(QUuid::createUuid(), trimmed, systemName, ReferenceDate::now());
    QList<Pinboard> boards = pinboards_;
    boards.append(board);
    if (made)
        *made = board;
    return {ClipboardHistoryState{items(), std::move(boards)}, std::nullopt};
}

ClipboardStore::BoardChange ClipboardStore::preparedRename(const QUuid& id, const QString& name) const
{
    const qsizetype index = indexOfBoard(pinboards_, id);
    if (index < 0)
        refuse(Case::missingBoard);
    const QString trimmed = validatedBoardName(name, id);
    QList<Pinboard> boards = pinboards_;
    boards[index].setName(trimmed);
    return {ClipboardHistoryState{items(), std::move(boards)}, std::nullopt};
}

ClipboardStore::BoardChange ClipboardStore::preparedDelete(const QUuid& id) const
{
    if (indexOfBoard(pinboards_, id) < 0)
        refuse(Case::missingBoard);
    QList<ClipboardItem> clips = items();
    for (ClipboardItem& clip : clips) {
        if (std::as_const(clip).pinboardIDs().contains(id))
            clip.pinboardIDs().removeAll(id);
    }
    QList<Pinboard> boards;
    for (const Pinboard& board : pinboards_) {
        if (board.id() != id)
            boards.append(board);
    }
    return {ClipboardHistoryState{std::move(clips), std::move(boards)}, id};
}

ClipboardStore::BoardChange ClipboardStore::preparedReorder(const QList<QUuid>& ids) const
{
    if (ids.size() != pinboards_.size())
        refuse(Case::invalidBoardOrder);
    QHash<QUuid, qsizetype> current;
    current.reserve(pinboards_.size());
    for (qsizetype i = 0; i < pinboards_.size(); ++i)
        current.insert(pinboards_[i].id(), i);
    QSet<QUuid> seen;
    QList<Pinboard> boards;
    boards.reserve(ids.size());
    for (const QUuid& id : ids) {
        auto it = current.constFind(id);
        if (it == current.cend() || seen.contains(id))
            refuse(Case::invalidBoardOrder);
        seen.insert(id);
        boards.append(pinboards_[it.value()]);
    }
    return {ClipboardHistoryState{items(), std::move(boards)}, std::nullopt};
}

Pinboard ClipboardStore::createPinboard(const QString& name, const QString& systemName)
{
    finishBoardWrite();
    Pinboard board(QUuid(), QString(), QString(), 0);
    commit(preparedCreate(name, systemName, &board).state);
    return board;
}

void ClipboardStore::renamePinboard(const QUuid& id, const QString& name)
{
    finishBoardWrite();
    commit(preparedRename(id, name).state);
}

void ClipboardStore::deletePinboard(const QUuid& id)
{
    finishBoardWrite();
    commit(preparedDelete(id).state);
}

void ClipboardStore::reorderPinboards(const QList<QUuid>& ids)
{
    finishBoardWrite();
    commit(preparedReorder(ids).state);
}

void ClipboardStore::createPinboardAsync(const QString& name, const QString& systemName, BoardChangeCompletion done)
{
    finishBoardWrite();
    commitInBackground(preparedCreate(name, systemName, nullptr), std::move(done));
}

void ClipboardStore::renamePinboardAsync(const QUuid& id, const QString& name, BoardChangeCompletion done)
{
    finishBoardWrite();
    commitInBackground(preparedRename(id, name), std::move(done));
}

void ClipboardStore::deletePinboardAsync(const QUuid& id, BoardChangeCompletion done)
{
    finishBoardWrite();
    commitInBackground(preparedDelete(id), std::move(done));
}

void ClipboardStore::reorderPinboardsAsync(const QList<QUuid>& ids, BoardChangeCompletion done)
{
    finishBoardWrite();
    commitInBackground(preparedReorder(ids), std::move(done));
}

// MARK: - Export and import

QByteArray ClipboardStore::archiveData() const
{
    return ClipboardHistoryArchive::encode(currentState());
}

ClipboardImportPreview ClipboardStore::previewImport(QByteArrayView data)
{
    requireHealthyStorage();
    return importCandidate(ClipboardHistoryArchive::decode(data)).second;
}

ClipboardImportPreview ClipboardStore::mergeImport(QByteArrayView data)
{
    finishBoardWrite();
    requireHealthyStorage();
    auto [state, preview] = importCandidate(ClipboardHistoryArchive::decode(data));
    commit(state);
    return preview;
}

void ClipboardStore::mergeImportAsync(const ClipboardHistoryState& archive, BoardChangeCompletion done)
{
    finishBoardWrite();
    ImportBasis basis = importBasis();
    ++persistenceGeneration_;
    auto write = std::make_shared<BoardWrite>();
    write->importedArchive = archive;
    write->done = std::move(done);
    beginBoardWrite(write).async([this, write, basis = std::move(basis), persistence = persistence_]() mutable {
        std::optional<QString> failure = describedFailure([&] {
            ClipboardHistoryState state;
            try {
                ClipboardHistoryArchive::validate(*write->importedArchive);
                state = mergedHistory(basis, *write->importedArchive).first;
            } catch (const ClipboardHistoryImportError&) {
                write->refused = true;
                throw;
            }
            basis = {};
            write->boards = state.pinboards;
            persistence->save(state);
            write->merged = preparedList(std::move(state.items), true);
        });
        write->outcome.set_value(std::move(failure));
        QMetaObject::invokeMethod(this, [this, write] { boardWriteFinished(write); }, Qt::QueuedConnection);
    });
    publishChanges();
}

// The import written, merged again with the clips as they are now on the writer's thread; the
// write stays under way (the store's saves held back) until that merge is taken on.
void ClipboardStore::remergeImport(const std::shared_ptr<BoardWrite>& written)
{
    auto again = std::make_shared<BoardWrite>();
    again->importedArchive = written->importedArchive;
    again->boards = written->boards;
    again->done = std::move(written->done);
    again->remergeRound = written->remergeRound + 1;
    again->heldSavesAtStart = heldSaves_;
    boardWrite_ = again;
    boardWriter_->async([this, again, basis = currentImportBasis()] {
        ClipboardHistoryState now = mergedHistory(basis, *again->importedArchive, false).first;
        again->merged = preparedList(std::move(now.items), true);
        again->boards = std::move(now.pinboards);
        again->outcome.set_value(std::nullopt);
        QMetaObject::invokeMethod(this, [this, again] { boardWriteFinished(again); }, Qt::QueuedConnection);
    });
}

ClipboardImportPreview ClipboardStore::previewImport(const ClipboardHistoryState& archive)
{
    requireHealthyStorage();
    ClipboardHistoryArchive::validate(archive);
    return importCandidate(archive).second;
}

ClipboardImportPreview ClipboardStore::mergeImport(const ClipboardHistoryState& archive)
{
    finishBoardWrite();
    requireHealthyStorage();
    ClipboardHistoryArchive::validate(archive);
    auto [state, preview] = importCandidate(archive);
    commit(state);
    return preview;
}

ClipboardStore::ImportBasis ClipboardStore::importBasis() const
{
    requireHealthyStorage();
    return currentImportBasis();
}

ClipboardStore::ImportBasis ClipboardStore::currentImportBasis() const
{
    ImportBasis basis;
    basis.items = items_;
    basis.keyHashes.reserve(index_->order.size());
    for (const Entry* entry : index_->order)
        basis.keyHashes.push_back(entry->keyHash);
    basis.pinboards = pinboards_;
    basis.maxCharactersPerItem = configuration_.maxCharactersPerItem;
    basis.maxImageBytes = configuration_.maxImageBytes;
    return basis;
}

std::pair<ClipboardHistoryState, ClipboardImportPreview>
ClipboardStore::importCandidate(const ClipboardHistoryState& archive, bool checkTotals) const
{
    return mergedHistory(currentImportBasis(), archive, checkTotals);
}

// The merge. Boards match by id, then by name ignoring case and diacritics, else are added;
// clips match by de-duplication key and are merged, else added. Hash lookups throughout: the
// cost is one pass over the history and one over the archive, plus the final sort.
std::pair<ClipboardHistoryState, ClipboardImportPreview>
ClipboardStore::mergedHistory(const ImportBasis& basis, const ClipboardHistoryState& archive, bool checkTotals)
{
    // Per-clip limits, first failure refuses the whole import.
    for (const ClipboardItem& clip : archive.items) {
        if (const ClipboardImage* image = clip.content().imageIf()) {
            if (image->byteCount() == 0 || image->byteCount() > basis.maxImageBytes)
                refuse(Case::tooLarge);
        } else {
            // A text held as bytes is checked on a QString made for the moment.
            const QString text = clip.content().transientText();
            if (TextLimits::isBlank(text) || TextLimits::exceedsCharacterLimit(text, basis.maxCharactersPerItem))
                refuse(Case::tooLarge);
        }
    }

    // Boards.
    QList<Pinboard> boards = basis.pinboards;
    QHash<QUuid, qsizetype> boardByID;
    QHash<QString, qsizetype> boardByName; // first board with each folded name
    for (qsizetype i = 0; i < boards.size(); ++i) {
        if (!boardByID.contains(boards[i].id()))
            boardByID.insert(boards[i].id(), i);
        const QString folded = TextLimits::caseAndDiacriticFolded(boards[i].name());
        if (!boardByName.contains(folded))
            boardByName.insert(folded, i);
    }
    QHash<QUuid, QUuid> boardMap;
    for (const Pinboard& incoming : archive.pinboards) {
        if (auto it = boardByID.constFind(incoming.id()); it != boardByID.cend()) {
            boardMap.insert(incoming.id(), boards[it.value()].id());
            continue;
        }
        const QString folded = TextLimits::caseAndDiacriticFolded(incoming.name());
        if (auto it = boardByName.constFind(folded); it != boardByName.cend()) {
            boardMap.insert(incoming.id(), boards[it.value()].id());
            continue;
        }
        boards.append(incoming);
        boardByID.insert(incoming.id(), boards.size() - 1);
        if (!boardByName.contains(folded))
            boardByName.insert(folded, boards.size() - 1);
        boardMap.insert(incoming.id(), incoming.id());
    }

    // Index of the present clips, by the hashes of their keys (keyHashOf); a match on a hash is
    // checked against the key itself. The first clip in the list with a key is the one merged into.
    QList<ClipboardItem> result = basis.items;
    QMultiHash<size_t, qsizetype> keyIndex;
    QSet<QUuid> ids;
    keyIndex.reserve(result.size() + archive.items.size());
    ids.reserve(result.size() + archive.items.size());
    for (qsizetype i = 0; i < result.size(); ++i) {
        keyIndex.insert(basis.keyHashes[static_cast<size_t>(i)], i);
        ids.insert(result[i].id());
    }
    const auto firstWithKey = [&](size_t hash, const QString& key) {
        qsizetype first = -1;
        for (auto it = keyIndex.constFind(hash); it != keyIndex.cend() && it.key() == hash; ++it) {
            if ((first < 0 || it.value() < first) && UnicodeText::canonicalForm(result[it.value()].dedupeKey()) == key)
                first = it.value();
        }
        return first;
    };

    int added = 0;
    int merged = 0;
    for (const ClipboardItem& incoming : archive.items) {
        // The archive's board list mapped onto the result's boards. An archive may name a board
        // twice, and two archive boards may map to one: each board is listed once.
        QList<QUuid> mapped;
        for (const QUuid& id : incoming.pinboardIDs()) {
            auto it = boardMap.constFind(id);
            if (it != boardMap.cend() && !mapped.contains(it.value()))
                mapped.append(it.value());
        }
        const size_t keyHash = keyHashOf(incoming);
        const qsizetype found =
            keyIndex.contains(keyHash) ? firstWithKey(keyHash, UnicodeText::canonicalForm(incoming.dedupeKey())) : -1;
        if (found >= 0) {
            ClipboardItem& present = result[found];
            present.setPinned(present.isPinned() || incoming.isPinned() || !mapped.isEmpty());
            for (const QUuid& id : mapped) {
                if (!std::as_const(present).pinboardIDs().contains(id))
                    present.pinboardIDs().append(id);
            }
            if (!present.sourceApp())
                present.setSourceApp(incoming.sourceApp());
            ClipboardImage* presentImage = present.content().imageIf();
            const ClipboardImage* incomingImage = incoming.content().imageIf();
            if (presentImage && incomingImage && !presentImage->recognizedText())
                presentImage->setRecognizedText(incomingImage->recognizedText());
            ++merged;
            continue;
        }
        const QUuid id = ids.contains(incoming.id()) ? QUuid::createUuid() : incoming.id();
        const bool pinned = incoming.isPinned() || !mapped.isEmpty();
        ClipboardItem fresh(id, incoming.content(), incoming.createdAt(), pinned, std::move(mapped), incoming.sourceApp(),
                            incoming.originalPayload());
        ids.insert(id);
        keyIndex.insert(keyHash, result.size());
        result.append(std::move(fresh));
        ++added;
    }

    if (checkTotals && (result.size() > maximumMergedItems || boards.size() > maximumBoards))
        refuse(Case::tooLarge);

    std::stable_sort(result.begin(), result.end(), [](const ClipboardItem& a, const ClipboardItem& b) {
        if (a.isPinned() != b.isPinned())
            return a.isPinned();
        return a.createdAt() > b.createdAt();
    });

    ClipboardImportPreview preview;
    preview.addedItems = added;
    preview.mergedItems = merged;
    preview.addedBoards = static_cast<int>(boards.size() - basis.pinboards.size());
    preview.totalItems = static_cast<int>(result.size());
    return {ClipboardHistoryState{std::move(result), std::move(boards)}, preview};
}

} // namespace tolvi
