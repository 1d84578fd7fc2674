#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/JsonInput.h"
#include "TolviCore/persistence/OutputSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tolvi {

namespace {

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return slash == 0 ? QStringLiteral("/") : QStringLiteral(".");
    return path.left(slash);
}

// Creates the folder and every missing folder above it, each new one with mode 0700 whatever
// the umask. Folders that exist are left as they are.
void createFolders(const QString& folder)
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
        createFolders(parent);
    if (::mkdir(native.constData(), 0700) != 0) {
        if (errno == EEXIST)
            return;
        throwSystemError("mkdir");
    }
    if (::chmod(native.constData(), 0700) != 0)
        throwSystemError("chmod");
}

// The history's own folder must belong to the user and be writable by nobody else; otherwise
// another user could swap the file under us or read it.
void requirePrivateFolder(const QString& folder)
{
    struct stat info {};
    const QByteArray native = QFile::encodeName(folder);
    if (::stat(native.constData(), &info) != 0)
        throwSystemError("stat");
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw PersistenceError::system(EACCES, QStringLiteral("The folder %1 is not private to this user").arg(folder));
}

void releaseFreeMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

qint64 systemUnixSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

FileClipboardHistoryPersistence::FileClipboardHistoryPersistence(QString filePath)
    : FileClipboardHistoryPersistence(std::move(filePath), Options{})
{
}

FileClipboardHistoryPersistence::FileClipboardHistoryPersistence(QString filePath, Options options)
    : filePath_(std::move(filePath)), options_(std::move(options)), writeQueue_("tolvi-history")
{
    if (!options_.mainExecutor)
        options_.mainExecutor = qtMainThreadExecutor();
    if (!options_.unixSecondsNow)
        options_.unixSecondsNow = systemUnixSeconds;
}

FileClipboardHistoryPersistence::~FileClipboardHistoryPersistence()
{
    writeQueue_.sync([this] { drainPending(); });
}

QString FileClipboardHistoryPersistence::defaultFilePath()
{
    return defaultFilePath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString FileClipboardHistoryPersistence::defaultFilePath(const QString& dataFolder)
{
    // The shared temporary folder is never used as it stands: another user could create the
    // folder first. The fallback is the user's own runtime folder or a folder named by the uid,
    // which saving and loading refuse unless it is private to this user.
    QString folder = dataFolder;
    if (folder.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
            folder = runtime;
        else
            return QStringLiteral("/tmp/Tolvi-%1/history.json").arg(::getuid());
    }
    return folder + QStringLiteral("/Tolvi/history.json");
}

FileClipboardHistoryPersistence::Executor FileClipboardHistoryPersistence::qtMainThreadExecutor()
{
    return [](std::function<void()> task) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            task();
            return;
        }
        QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
    };
}

ClipboardHistoryState FileClipboardHistoryPersistence::load()
{
    ClipboardHistoryState state;
    writeQueue_.sync([&] {
        drainPending();
        state = loadFile();
    });
    return state;
}

void FileClipboardHistoryPersistence::save(const ClipboardHistoryState& state)
{
    writeQueue_.sync([&] {
        drainPending();
        try {
            saveFile(state);
            lastWriteError_.reset();
        } catch (const PersistenceError& error) {
            lastWriteError_ = error;
            throw;
        }
    });
}

void FileClipboardHistoryPersistence::enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion)
{
    bool wasScheduled = false;
    {
        std::lock_guard lock(pendingLock_);
        pendingState_ = state;
        pendingCompletions_.append(std::move(completion));
        wasScheduled = workerScheduled_;
        workerScheduled_ = true;
    }
    if (!wasScheduled)
        writeQueue_.async([this] { runWorker(); });
}

void FileClipboardHistoryPersistence::flush()
{
    writeQueue_.sync([&] {
        drainPending();
        if (lastWriteError_)
            throw *lastWriteError_;
    });
}

void FileClipboardHistoryPersistence::runWorker()
{
    drainPending();
    bool again = false;
    {
        std::lock_guard lock(pendingLock_);
        if (!pendingState_)
            workerScheduled_ = false;
        else
            again = true;
    }
    if (again)
        writeQueue_.async([this] { runWorker(); });
}

void FileClipboardHistoryPersistence::drainPending()
{
    std::optional<ClipboardHistoryState> state;
    QList<SaveCompletion> completions;
    {
        std::lock_guard lock(pendingLock_);
        state.swap(pendingState_);
        completions.swap(pendingCompletions_);
    }
    if (!state)
        return;
    SaveResult result = SaveResult::success();
    try {
        saveFile(*state);
        lastWriteError_.reset();
    } catch (const PersistenceError& error) {
        lastWriteError_ = error;
        result = SaveResult::failure(error);
    } catch (const std::exception& error) {
        const PersistenceError wrapped = PersistenceError::encoding(QString::fromLocal8Bit(error.what()));
        lastWriteError_ = wrapped;
        result = SaveResult::failure(wrapped);
    }
    // The state is released here, on the writer thread, before the completions run.
    state.reset();
    options_.mainExecutor([completions = std::move(completions), result = std::move(result)] {
        for (const SaveCompletion& completion : completions) {
            if (completion)
                completion(result);
        }
    });
}

void FileClipboardHistoryPersistence::saveFile(const ClipboardHistoryState& state)
{
    const QString folder = folderOf(filePath_);
    createFolders(folder);
    requirePrivateFolder(folder);
    PrivateAtomicFileWriter::writeStreaming(
        filePath_, [&](int fd) {
            FileDescriptorSink sink(fd);
            HistoryJsonCodec::encodeState(state, sink);
        },
        options_.beforeReplace);
}

ClipboardHistoryState FileClipboardHistoryPersistence::loadFile()
{
    const QString folder = folderOf(filePath_);
    struct stat folderInfo {};
    if (::stat(QFile::encodeName(folder).constData(), &folderInfo) != 0) {
        if (errno == ENOENT)
            return ClipboardHistoryState{{}, DefaultPinboards::all()};
        throwSystemError("stat");
    }
    requirePrivateFolder(folder);
    const QByteArray native = QFile::encodeName(filePath_);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return ClipboardHistoryState{{}, DefaultPinboards::all()};
        throwSystemError("open");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fchmod(fd, 0600) != 0)
        throwSystemError("fchmod");

    std::optional<ClipboardHistoryState> state;
    std::optional<PersistenceError> failure;
    {
        // A regular file is mapped, not copied: its pages are read where the page cache holds
        // them, and the image text is given back as soon as it has been decoded.
        const JsonInput input = JsonInput::readFile(fd);
        if (options_.beforeDecoding)
            options_.beforeDecoding();
        try {
            state = HistoryJsonCodec::decodeHistoryFile(input).state;
        } catch (const PersistenceError& error) {
            if (error.kind() != PersistenceError::Kind::decoding)
                throw;
            failure = error;
        }
        // Whatever the decoder made of it, part of what it read was not the file.
        if (input.changedWhileRead())
            failure = PersistenceError::decoding(QStringLiteral("The history file was cut short while it was read"));
        if (failure) {
            state.reset();
            if (input.isMapped())
                backupCorruptHistory(fd);
            else
                backupCorruptHistory(input.data(), input.size());
        }
    }
    // The parser's buffers and the decoding's temporaries are gone: hand their memory back, so
    // that the peak of loading does not stay with the process.
    releaseFreeMemory();
    if (failure)
        throw *failure;
    return std::move(*state);
}

namespace {

// Opens the corrupt copy's name for writing: never replaces an existing file and never follows
// a link planted under the name.
int createCorruptCopy(const QByteArray& native)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        ::unlink(native.constData());
        return -1;
    }
    return fd;
}

// Ends the copy; a partial copy never stands under the dated name.
void finishCorruptCopy(const QByteArray& native, int fd, bool complete)
{
    complete = complete && ::fsync(fd) == 0;
    complete = (::close(fd) == 0) && complete;
    if (!complete)
        ::unlink(native.constData());
}

// Copies the whole of `from` (from its start) to `to` in the kernel, or through a small buffer
// where the file systems cannot copy between them.
bool copyFile(int from, int to)
{
    off_t offset = 0;
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, &offset, to, nullptr, 1 << 30, 0);
        if (copied > 0)
            continue;
        if (copied == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
        break;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return false;
        offset += got;
    }
}

} // namespace

QByteArray FileClipboardHistoryPersistence::corruptCopyPath() const
{
    const QString copyPath = folderOf(filePath_) + QStringLiteral("/history.corrupt-")
                             + QString::number(options_.unixSecondsNow()) + QStringLiteral(".json");
    return QFile::encodeName(copyPath);
}

void FileClipboardHistoryPersistence::backupCorruptHistory(const char* data, std::size_t size)
{
    const QByteArray native = corruptCopyPath();
    const int fd = createCorruptCopy(native);
    if (fd >= 0)
        finishCorruptCopy(native, fd, writeAll(fd, data, size));
}

void FileClipboardHistoryPersistence::backupCorruptHistory(int historyFd)
{
    const QByteArray native = corruptCopyPath();
    const int fd = createCorruptCopy(native);
    if (fd >= 0)
        finishCorruptCopy(native, fd, copyFile(historyFd, fd));
}

} // namespace tolvi
