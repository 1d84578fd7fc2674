#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/FileCopy.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/JsonInput.h"
#include "TolviCore/persistence/OutputSink.h"
#include "TolviCore/persistence/OwnRegularFile.h"
#include "TolviCore/persistence/PrivateFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tolvi {

namespace {

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

// Passes the encoded history on until the file would pass its size bound.
class BoundedSink final : public OutputSink {
public:
    BoundedSink(OutputSink& inner, qint64 limit)
        : inner_(inner), limit_(static_cast<std::size_t>(std::max<qint64>(limit, 0)))
    {
    }
    void write(const char* data, std::size_t size) override
    {
        if (size > limit_ - written_)
            throw PersistenceError::encoding(
                QStringLiteral("The history is larger than a history file may be (%1 bytes)").arg(limit_));
        inner_.write(data, size);
        written_ += size;
    }

private:
    OutputSink& inner_;
    std::size_t limit_;
    std::size_t written_ = 0;
};

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
    writeQueue_.sync([this] {
        try {
            if (!drainPending())
                retryUnsaved();
        } catch (const std::exception&) {
        }
    });
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
            unsavedState_.reset();
        } catch (const PersistenceError& error) {
            // A refused synchronous state is not the store's (it adopts it only once written):
            // what a flush writes again stays the newest queued state.
            lastWriteError_ = error;
            throw;
        }
    });
}

void FileClipboardHistoryPersistence::enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion)
{
    bool wasScheduled = false;
    std::optional<ClipboardHistoryState> replaced;
    {
        std::lock_guard lock(pendingLock_);
        replaced = std::exchange(pendingState_, state);
        pendingCompletions_.append(std::move(completion));
        wasScheduled = workerScheduled_;
        workerScheduled_ = true;
    }
    // A state replaced before it was written may be the last holder of its clips: letting go of
    // them is left to the writer thread.
    if (replaced)
        writeQueue_.async([replaced = std::move(replaced)]() mutable { replaced.reset(); });
    if (!wasScheduled)
        writeQueue_.async([this] { runWorker(); });
}

void FileClipboardHistoryPersistence::flush()
{
    writeQueue_.sync([&] {
        // A state that has just failed is not tried twice in a row.
        if (!drainPending())
            retryUnsaved();
        else if (lastWriteError_)
            throw *lastWriteError_;
    });
}

// A state whose write failed is written again: the disk may have room again, or the folder may
// be writable again. Throws the new attempt's error.
void FileClipboardHistoryPersistence::retryUnsaved()
{
    if (!unsavedState_)
        return;
    try {
        saveFile(*unsavedState_);
    } catch (const PersistenceError& error) {
        lastWriteError_ = error;
        throw;
    } catch (const std::exception& error) {
        lastWriteError_ = PersistenceError::encoding(QString::fromLocal8Bit(error.what()));
        throw *lastWriteError_;
    }
    lastWriteError_.reset();
    unsavedState_.reset();
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

bool FileClipboardHistoryPersistence::drainPending()
{
    std::optional<ClipboardHistoryState> state;
    QList<SaveCompletion> completions;
    {
        std::lock_guard lock(pendingLock_);
        state.swap(pendingState_);
        completions.swap(pendingCompletions_);
    }
    if (!state)
        return false;
    SaveResult result = SaveResult::success();
    try {
        result = SaveResult::success(saveFile(*state));
        lastWriteError_.reset();
        unsavedState_.reset();
    } catch (const PersistenceError& error) {
        lastWriteError_ = error;
        result = SaveResult::failure(error);
    } catch (const std::exception& error) {
        const PersistenceError wrapped = PersistenceError::encoding(QString::fromLocal8Bit(error.what()));
        lastWriteError_ = wrapped;
        result = SaveResult::failure(wrapped);
    }
    // A failed state is kept for the next flush; otherwise it is released here, on the writer
    // thread, before the completions run.
    if (!result.isSuccess())
        unsavedState_ = std::move(state);
    state.reset();
    options_.mainExecutor([completions = std::move(completions), result = std::move(result)] {
        for (const SaveCompletion& completion : completions) {
            if (completion)
                completion(result);
        }
    });
    return true;
}

QList<LeftOutClip> FileClipboardHistoryPersistence::saveFile(const ClipboardHistoryState& state)
{
    const QString folder = folderOf(filePath_);
    createPrivateFolders(folder);
    requirePrivateFolder(folder);
    QList<LeftOutClip> leftOut;
    PrivateAtomicFileWriter::writeStreaming(
        filePath_, [&](int fd) {
            leftOut.clear();
            FileDescriptorSink file(fd);
            BoundedSink sink(file, options_.maximumFileBytes);
            HistoryJsonCodec::encodeState(state, sink, &leftOut);
        },
        options_.beforeReplace);
    return leftOut;
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
    // Only a regular file of the user's own is a history: anything else under the name is left
    // exactly as it is.
    const std::optional<OwnRegularFile> opened = OwnRegularFile::open(filePath_, QStringLiteral("history file"));
    if (!opened)
        return ClipboardHistoryState{{}, DefaultPinboards::all()};
    const int fd = opened->fd();
    const struct stat& info = opened->info();
    if (::fchmod(fd, 0600) != 0)
        throwSystemError("fchmod");
    if (info.st_size > options_.maximumFileBytes) {
        backupCorruptHistory(fd);
        throw PersistenceError::decoding(QStringLiteral("The history file is larger than a history file may be "
                                                        "(%1 bytes, at most %2)")
                                             .arg(info.st_size)
                                             .arg(options_.maximumFileBytes));
    }

    std::optional<ClipboardHistoryState> state;
    std::optional<PersistenceError> failure;
    {
        // A regular file is mapped and parsed there, or from a copy without its large images when
        // it has any. Those stay in the mapping in Base64 until they are needed, and the mapping
        // with them, as they are now whoever writes to the file later (a backup restored over it).
        const auto input = std::make_shared<const JsonInput>(JsonInput::readKeptFile(fd, folder));
        if (options_.beforeDecoding)
            options_.beforeDecoding();
        try {
            state = HistoryJsonCodec::decodeHistoryFile(input).state;
        } catch (const PersistenceError& error) {
            if (error.kind() != PersistenceError::Kind::decoding)
                throw;
            failure = error;
        }
        // Whatever the decoder made of it, part of what it read may not be the file as it was
        // opened (the kernel let a writer in before the mapping had moved onto its copy).
        if (input->changedWhileRead())
            failure = PersistenceError::decoding(QStringLiteral("The history file changed while it was read"));
        if (failure) {
            state.reset();
            backupCorruptHistory(fd);
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

// Reads up to `size` bytes at `offset`, retrying interrupted and short reads; fewer at the end.
ssize_t readAt(int fd, char* buffer, std::size_t size, off_t offset)
{
    std::size_t total = 0;
    while (total < size) {
        const ssize_t got = ::pread(fd, buffer + total, size - total, offset + static_cast<off_t>(total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

bool sameBytes(int a, int b)
{
    constexpr std::size_t chunk = 1 << 20;
    std::vector<char> left(chunk), right(chunk);
    for (off_t offset = 0;; offset += static_cast<off_t>(chunk)) {
        const ssize_t gotLeft = readAt(a, left.data(), chunk, offset);
        const ssize_t gotRight = readAt(b, right.data(), chunk, offset);
        if (gotLeft < 0 || gotRight < 0 || gotLeft != gotRight)
            return false;
        if (gotLeft == 0)
            return true;
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(gotLeft)) != 0)
            return false;
    }
}

bool isCorruptCopyName(std::string_view name)
{
    return name.starts_with("history.corrupt-") && name.ends_with(".json");
}

// Whether a corrupt copy in the folder holds exactly the bytes of the open history file: the same
// file under a second name, or a file of the user's own with the same size and content.
bool hasCopyOf(const QString& folder, int historyFd)
{
    struct stat history {};
    if (::fstat(historyFd, &history) != 0)
        return false;
    const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return false;
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return false;
    }
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(listing);
        if (!entry)
            break;
        if (!isCorruptCopyName(entry->d_name))
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat copy {};
        if (::fstat(fd, &copy) == 0 && S_ISREG(copy.st_mode) && copy.st_uid == ::geteuid()) {
            found = (copy.st_dev == history.st_dev && copy.st_ino == history.st_ino)
                    || (copy.st_size == history.st_size && sameBytes(historyFd, fd));
        }
        ::close(fd);
    }
    ::closedir(listing);
    return found;
}

} // namespace

QByteArray FileClipboardHistoryPersistence::corruptCopyPath() const
{
    const QString copyPath = folderOf(filePath_) + QStringLiteral("/history.corrupt-")
                             + QString::number(options_.unixSecondsNow()) + QStringLiteral(".json");
    return QFile::encodeName(copyPath);
}

// Never replaces a file under the dated name and never follows a link planted there; every
// failure is ignored, the load fails with the decoding error all the same.
void FileClipboardHistoryPersistence::backupCorruptHistory(int historyFd)
{
    if (hasCopyOf(folderOf(filePath_), historyFd))
        return;
    const QByteArray copy = corruptCopyPath();
    // A second name for the file that was read: instant whatever its size, and the same bytes.
    const QByteArray opened = "/proc/self/fd/" + QByteArray::number(historyFd);
    if (::linkat(AT_FDCWD, opened.constData(), AT_FDCWD, copy.constData(), AT_SYMLINK_FOLLOW) == 0 || errno == EEXIST)
        return;
    try {
        PrivateAtomicFileWriter::createStreaming(QFile::decodeName(copy), [&](int fd) {
            if (!copyWholeFile(historyFd, fd))
                throwSystemError("copy");
        });
    } catch (const PersistenceError&) {
    }
}

} // namespace tolvi
