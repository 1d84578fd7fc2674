#include "TolviCore/persistence/HistoryFolderLock.h"

#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"
#include "TolviCore/persistence/PrivateFolders.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

HistoryFolderLock::HistoryFolderLock(QString historyFilePath, LockCall lockCall)
    : folder_(folderOf(historyFilePath)), lockCall_(std::move(lockCall))
{
    if (!lockCall_)
        lockCall_ = [](int fd, int operation) { return ::flock(fd, operation); };
}

namespace {

// What flock answers on a file system that keeps no locks (an NFS mount without a lock daemon,
// some FUSE file systems).
bool meansNoLocks(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

} // namespace

HistoryFolderLock::~HistoryFolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool HistoryFolderLock::acquire()
{
    if (fd_ >= 0 || locksUnsupported_)
        return true;
    createPrivateFolders(folder_);
    requirePrivateFolder(folder_);
    const QByteArray path = QFile::encodeName(folder_ + QLatin1Char('/') + QLatin1String(fileName));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        throwSystemError("open lock file");
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        throw PersistenceError::system(EACCES, QStringLiteral("The lock file is not a file of this user"));
    }
    int locked;
    do {
        locked = lockCall_(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        if (meansNoLocks(error)) {
            locksUnsupported_ = true;
            return true;
        }
        throw PersistenceError::system(error, QStringLiteral("Could not lock the history folder"));
    }
    fd_ = fd;
    return true;
}

int HistoryFolderLock::removeLeftoverTemporaryFiles() const
{
    return fd_ >= 0 ? PrivateAtomicFileWriter::removeLeftovers(folder_) : 0;
}

} // namespace tolvi
