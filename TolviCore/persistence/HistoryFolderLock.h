#pragma once

#include <QString>

#include <functional>

namespace tolvi {

// One program at a time for one history: an exclusive flock on "history.lock" in the history
// file's folder, held from acquire() until the object goes, or until the process ends however it
// ends (the kernel drops the lock with the process). A program that holds it is the only one that
// loads, saves or tidies that history, whatever happens to the single-instance socket.
class HistoryFolderLock {
public:
    static constexpr char fileName[] = "history.lock";

    // How the lock is taken: flock(2) by default (tests stand in for a file system without locks).
    using LockCall = std::function<int(int fd, int operation)>;

    explicit HistoryFolderLock(QString historyFilePath, LockCall lockCall = {});
    ~HistoryFolderLock();
    HistoryFolderLock(const HistoryFolderLock&) = delete;
    HistoryFolderLock& operator=(const HistoryFolderLock&) = delete;

    // Creates the history folder when it is missing (0700, as saving would), and takes the lock
    // without waiting. True: this program may use the history, because it holds the lock or
    // because the folder's file system has no locks at all (then isHeld() is false and
    // locksUnsupported() true). False: another program holds it. Throws PersistenceError for any
    // other failure (the folder is not private to the user, the lock file cannot be opened, is
    // not a file of the user's own, or cannot be locked): a history this program does not own.
    bool acquire();
    bool isHeld() const { return fd_ >= 0; }
    bool locksUnsupported() const { return locksUnsupported_; }
    const QString& folder() const { return folder_; }

    // Removes what interrupted saves left in the history folder (see
    // PrivateAtomicFileWriter::removeLeftovers); nothing unless the lock is held. The number removed.
    int removeLeftoverTemporaryFiles() const;

private:
    QString folder_;
    LockCall lockCall_;
    int fd_ = -1;
    bool locksUnsupported_ = false;
};

} // namespace tolvi
