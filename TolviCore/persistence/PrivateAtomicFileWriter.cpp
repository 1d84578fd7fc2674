#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include "TolviCore/persistence/OutputSink.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateFolders.h"

#include <QFile>
#include <QUuid>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi::PrivateAtomicFileWriter {

namespace {

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

void letFileSizeLimitFailWrites()
{
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0
        || current.sa_handler != SIG_DFL)
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

// Gives the complete temporary file the target's name without replacing what stands there.
void renameWithoutReplacing(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return;
    // File systems without the flag: a hard link fails on an existing name just the same (the
    // temporary name is removed afterwards).
    if (errno != EINVAL && errno != ENOSYS)
        throwSystemError("rename");
    if (::link(from.constData(), to.constData()) != 0)
        throwSystemError("link");
}

enum class Existing { replace, keep };

void writeFile(const QString& path, const Producer& produce, const BeforeReplace& beforeReplace, Existing existing)
{
    letFileSizeLimitFailWrites();
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
    // Marks the file as being written; where the file system has no locks it simply stays unmarked.
    ::flock(fd, LOCK_EX | LOCK_NB);

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

    if (existing == Existing::keep)
        renameWithoutReplacing(nativeTemporary, nativeTarget);
    else if (::rename(nativeTemporary.constData(), nativeTarget.constData()) != 0)
        throwSystemError("rename");
    syncFolder(folder);
}

} // namespace

void writeStreaming(const QString& path, const Producer& produce, const BeforeReplace& beforeReplace)
{
    writeFile(path, produce, beforeReplace, Existing::replace);
}

void createStreaming(const QString& path, const Producer& produce)
{
    writeFile(path, produce, {}, Existing::keep);
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

bool isTemporaryFileName(QStringView name)
{
    const QLatin1String prefix(temporaryPrefix);
    const QLatin1String suffix(".tmp");
    constexpr qsizetype uuidLength = 36;
    if (name.size() != prefix.size() + uuidLength + suffix.size() || !name.startsWith(prefix) || !name.endsWith(suffix))
        return false;
    return !QUuid::fromString(name.mid(prefix.size(), uuidLength)).isNull();
}

int removeLeftovers(const QString& folder)
{
    const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return 0;
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (!isTemporaryFileName(QFile::decodeName(entry->d_name)))
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // A write that is still running holds its lock; the name must still be the file looked at.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino
            && ::unlinkat(folderFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}

} // namespace tolvi::PrivateAtomicFileWriter
