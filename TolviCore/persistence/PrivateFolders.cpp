#include "TolviCore/persistence/PrivateFolders.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return slash == 0 ? QStringLiteral("/") : QStringLiteral(".");
    return path.left(slash);
}

void createPrivateFolders(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR;
            throwSystemError("mkdir");
        }
        return;
    }
    if (errno != ENOENT)
        throwSystemError("stat");
    const QString parent = folderOf(folder);
    if (parent != folder)
        createPrivateFolders(parent);
    if (::mkdir(native.constData(), 0700) != 0) {
        if (errno == EEXIST)
            return;
        throwSystemError("mkdir");
    }
    if (::chmod(native.constData(), 0700) != 0)
        throwSystemError("chmod");
}

void requirePrivateFolder(const QString& folder)
{
    struct stat info {};
    const QByteArray native = QFile::encodeName(folder);
    if (::stat(native.constData(), &info) != 0)
        throwSystemError("stat");
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw PersistenceError::system(EACCES, QStringLiteral("The folder %1 is not private to this user").arg(folder));
}

} // namespace tolvi
