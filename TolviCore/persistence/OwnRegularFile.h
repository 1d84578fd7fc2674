#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/stat.h>

namespace tolvi {

// A file of the user's own, opened for reading the safe way: never through a symbolic link
// (whose target could be anything on the machine, /dev/zero among them), without waiting should
// a FIFO stand under the name, and kept only when it is a regular file that belongs to the user.
// Anything else under the name (a folder, a FIFO, a device, another user's file) is left exactly
// as it is. Any thread.
class OwnRegularFile {
public:
    // Nothing when there is no file under the name. `description` names the file in errors
    // ("history file" makes "The history file is not a regular file"). Throws
    // PersistenceError::system when the file cannot be opened or is not one to read.
    static std::optional<OwnRegularFile> open(const QString& path, const QString& description);

    // Reads the whole file when it holds at most `maximumBytes`; throws PersistenceError::decoding
    // when it holds more (without reading it) and PersistenceError::system when reading fails.
    static std::optional<QByteArray> read(const QString& path, const QString& description, qint64 maximumBytes);

    OwnRegularFile(OwnRegularFile&& other) noexcept;
    OwnRegularFile& operator=(OwnRegularFile&& other) noexcept;
    OwnRegularFile(const OwnRegularFile&) = delete;
    OwnRegularFile& operator=(const OwnRegularFile&) = delete;
    ~OwnRegularFile();

    int fd() const { return fd_; }
    const struct stat& info() const { return info_; }
    // Reads the file from its start, at most `maximumBytes` (see read()).
    QByteArray readAll(qint64 maximumBytes) const;

private:
    OwnRegularFile(int fd, const struct stat& info, QString description);

    int fd_ = -1;
    struct stat info_ {};
    QString description_;
};

} // namespace tolvi
