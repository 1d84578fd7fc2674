#pragma once

#include <QString>

namespace tolvi {

// One program at a time for one history: an exclusive flock on "history.lock" in the history
// file's folder, held from acquire() until the object goes, or until the process ends however it
// ends (the kernel drops the lock with the process). A program that holds it is the only one that
// loads, saves or tidies that history, whatever happens to the single-instance socket.
class HistoryFolderLock {
public:
    static constexpr char fileName[] = "history.lock";

    explicit HistoryFolderLock(QString historyFilePath);
    ~HistoryFolderLock();
    HistoryFolderLock(const HistoryFolderLock&) = delete;
    HistoryFolderLock& operator=(const HistoryFolderLock&) = delete;

    // Creates the history folder when it is missing (0700, as saving would), and takes the lock
    // without waiting. False: another program holds it. Throws PersistenceError when the folder is
    // not private to the user or the lock file cannot be opened or locked.
    bool acquire();
    bool isHeld() const { return fd_ >= 0; }
    const QString& folder() const { return folder_; }

    // Removes what interrupted saves left in the history folder (see
    // PrivateAtomicFileWriter::removeLeftovers); nothing unless the lock is held. The number removed.
    int removeLeftoverTemporaryFiles() const;

private:
    QString folder_;
    int fd_ = -1;
};

} // namespace tolvi
