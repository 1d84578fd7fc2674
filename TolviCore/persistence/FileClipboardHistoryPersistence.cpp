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
    JsonInput input = [&] {
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        if (::fchmod(fd, 0600) != 0)
            throwSystemError("fchmod");
        return JsonInput::readAll(fd);
    }();
    try {
        return HistoryJsonCodec::decodeHistoryFile(input).state;
    } catch (const PersistenceError& error) {
        if (error.kind() != PersistenceError::Kind::decoding)
            throw;
        backupCorruptHistory(input.data(), input.size());
        throw;
    }
}

void FileClipboardHistoryPersistence::backupCorruptHistory(const char* data, std::size_t size)
{
    const QString copyPath = folderOf(filePath_) + QStringLiteral("/history.corrupt-")
                             + QString::number(options_.unixSecondsNow()) + QStringLiteral(".json");
    const QByteArray native = QFile::encodeName(copyPath);
    // Never replaces an existing file and never follows a link planted under the name.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    bool complete = ::fchmod(fd, 0600) == 0;
    complete = complete && writeAll(fd, data, size);
    complete = complete && ::fsync(fd) == 0;
    complete = (::close(fd) == 0) && complete;
    // A partial copy never stands under the dated name.
    if (!complete)
        ::unlink(native.constData());
}

} // namespace tolvi
