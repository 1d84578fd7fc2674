#include "TolviCore/persistence/OwnRegularFile.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace tolvi {

OwnRegularFile::OwnRegularFile(int fd, const struct stat& info, QString description)
    : fd_(fd), info_(info), description_(std::move(description))
{
}

OwnRegularFile::OwnRegularFile(OwnRegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), info_(other.info_), description_(std::move(other.description_))
{
}

OwnRegularFile& OwnRegularFile::operator=(OwnRegularFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        info_ = other.info_;
        description_ = std::move(other.description_);
    }
    return *this;
}

OwnRegularFile::~OwnRegularFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<OwnRegularFile> OwnRegularFile::open(const QString& path, const QString& description)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throwSystemError("open");
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throw PersistenceError::system(error, QStringLiteral("fstat"));
    }
    OwnRegularFile file(fd, info, description);
    if (S_ISDIR(info.st_mode))
        throw PersistenceError::system(EISDIR, QStringLiteral("The %1 is a folder").arg(description));
    if (!S_ISREG(info.st_mode))
        throw PersistenceError::system(EINVAL, QStringLiteral("The %1 is not a regular file").arg(description));
    if (info.st_uid != ::geteuid())
        throw PersistenceError::system(EACCES, QStringLiteral("The %1 belongs to another user").arg(description));
    return file;
}

std::optional<QByteArray> OwnRegularFile::read(const QString& path, const QString& description, qint64 maximumBytes)
{
    const std::optional<OwnRegularFile> file = open(path, description);
    if (!file)
        return std::nullopt;
    return file->readAll(maximumBytes);
}

QByteArray OwnRegularFile::readAll(qint64 maximumBytes) const
{
    const auto tooLarge = [&](qint64 size) {
        return PersistenceError::decoding(QStringLiteral("The %1 is larger than it may be (%2 bytes, at most %3)")
                                              .arg(description_)
                                              .arg(size)
                                              .arg(maximumBytes));
    };
    if (info_.st_size > maximumBytes)
        throw tooLarge(info_.st_size);
    // The file may grow while it is read: never more than the bound plus one byte is taken in.
    QByteArray bytes;
    bytes.resize(qsizetype(info_.st_size) + 1);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maximumBytes)
                throw tooLarge(filled);
            bytes.resize(qsizetype(std::min<qint64>(maximumBytes + 1, filled * 2 + 4096)));
        }
        const ssize_t got = ::pread(fd_, bytes.data() + filled, size_t(bytes.size() - filled), off_t(filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("read");
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maximumBytes)
        throw tooLarge(filled);
    bytes.truncate(qsizetype(filled));
    return bytes;
}

} // namespace tolvi
