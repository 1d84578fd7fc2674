#pragma once

#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/LeftOutClip.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <functional>
#include <optional>

namespace tolvi {

// The outcome of one queued save: success, or the error of the write that carried the state.
// A success names the clips the write left out because their images could no longer be had.
class SaveResult {
public:
    static SaveResult success(QList<LeftOutClip> leftOut = {}) { return SaveResult(std::move(leftOut)); }
    static SaveResult failure(PersistenceError error) { return SaveResult(std::move(error)); }

    bool isSuccess() const { return !error_.has_value(); }
    // The error of a failure, nullptr for a success.
    const PersistenceError* error() const { return error_ ? &*error_ : nullptr; }
    const QList<LeftOutClip>& leftOutClips() const { return leftOut_; }

    friend bool operator==(const SaveResult& a, const SaveResult& b)
    {
        return a.error_ == b.error_ && a.leftOut_ == b.leftOut_;
    }

private:
    explicit SaveResult(QList<LeftOutClip> leftOut) : leftOut_(std::move(leftOut)) {}
    explicit SaveResult(PersistenceError error) : error_(std::move(error)) {}
    std::optional<PersistenceError> error_;
    QList<LeftOutClip> leftOut_;
};

using SaveCompletion = std::function<void(const SaveResult&)>;

// How the history store loads and saves its clips and boards. Both operations block the caller;
// failures throw (PersistenceError for the history file).
class ClipboardHistoryPersisting {
public:
    virtual ~ClipboardHistoryPersisting() = default;
    virtual ClipboardHistoryState load() = 0;
    virtual void save(const ClipboardHistoryState& state) = 0;
};

// A persistence that can also save in the background. The store writes through enqueueSave when
// its persistence offers this interface, and through save otherwise.
class ClipboardHistoryAsyncPersisting : public ClipboardHistoryPersisting {
public:
    // Returns at once; completion is called later on the main thread with the result of the write
    // that carried this state (or a newer one that replaced it).
    virtual void enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion) = 0;
    // Writes whatever is pending, and the newest state once more when its write failed; throws
    // when the newest state could not be written.
    virtual void flush() = 0;
};

} // namespace tolvi
