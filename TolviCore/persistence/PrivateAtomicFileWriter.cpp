#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include "TolviCore/persistence/OutputSink.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi::PrivateAtomicFileWriter {

namespace {

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

// Removes the temporary file on every way out; after a successful rename there is nothing left
// to remove and the failure is ignored.
struct TemporaryFileGuard {
    QByteArray path;
    ~TemporaryFileGuard() { ::unlink(path.constData()); }
};

void syncFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throwSystemError("open folder");
    const int result = ::fsync(fd);
    const int syncError = errno;
    ::close(fd);
    // Some file systems cannot synchronise a folder; that is not a failure of the write.
    if (result != 0 && syncError != EINVAL && syncError != ENOTSUP) {
        errno = syncError;
        throwSystemError("fsync folder");
    }
}

} // namespace

void writeStreaming(const QString& path, const Producer& produce, const BeforeReplace& beforeReplace)
{
    const QString folder = folderOf(path);
    const QString temporaryPath = folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/"))
                                  + QLatin1String(temporaryPrefix)
                                  + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                                  + QStringLiteral(".tmp");
    const QByteArray nativeTemporary = QFile::encodeName(temporaryPath);
    const QByteArray nativeTarget = QFile::encodeName(path);

    const int fd = ::open(nativeTemporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throwSystemError("open");
    TemporaryFileGuard guard{nativeTemporary};

    // The descriptor is closed exactly once on every path: a second close could close a
    // descriptor that another thread has just been given the same number for.
    bool open = true;
    auto closeOnce = [&]() -> int {
        open = false;
        return ::close(fd);
    };
    try {
        if (::fchmod(fd, 0600) != 0)
            throwSystemError("fchmod");
        produce(fd);
        if (::fsync(fd) != 0)
            throwSystemError("fsync");
    } catch (...) {
        if (open)
            closeOnce();
        throw;
    }
    if (closeOnce() != 0)
        throwSystemError("close");

    if (beforeReplace)
        beforeReplace(temporaryPath);

    if (::rename(nativeTemporary.constData(), nativeTarget.constData()) != 0)
        throwSystemError("rename");
    syncFolder(folder);
}

void write(QByteArrayView data, const QString& path, const BeforeReplace& beforeReplace)
{
    writeStreaming(
        path,
        [&](int fd) {
            if (!writeAll(fd, data.data(), static_cast<std::size_t>(data.size())))
                throwSystemError("write");
        },
        beforeReplace);
}

} // namespace tolvi::PrivateAtomicFileWriter
