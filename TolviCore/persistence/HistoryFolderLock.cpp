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

HistoryFolderLock::HistoryFolderLock(QString historyFilePath) : folder_(folderOf(historyFilePath)) {}

HistoryFolderLock::~HistoryFolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool HistoryFolderLock::acquire()
{
    if (fd_ >= 0)
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
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        throw PersistenceError::system(error, QStringLiteral("flock"));
    }
    fd_ = fd;
    return true;
}

int HistoryFolderLock::removeLeftoverTemporaryFiles() const
{
    return fd_ >= 0 ? PrivateAtomicFileWriter::removeLeftovers(folder_) : 0;
}

} // namespace tolvi
