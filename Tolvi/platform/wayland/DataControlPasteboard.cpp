#include "Tolvi/platform/wayland/DataControlPasteboard.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SelectionTargetView.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMimeData>

#include <cerrno>
#include <condition_variable>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tolvi {

namespace {

const QString uriListTarget = QStringLiteral("text/uri-list");
// A list of 100 references of 8,192 bytes each, with line ends, fits well below this.
constexpr qint64 maximumUriListBytes = 2 * 1024 * 1024;
constexpr qint64 maximumRepresentationBytes = 64 * 1024 * 1024;

// The outcome of one pipe read, shared between the waiting caller and the reading thread.
struct PipeRead {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<QByteArray> bytes;
};

// Reads the pipe to its end in a thread of its own; the caller waits at most until the deadline.
// The reading thread gives up at the same deadline, so nothing is left behind for long.
std::optional<QByteArray> readPipe(int fd, const QDeadlineTimer& deadline, qint64 limit)
{
    auto shared = std::make_shared<PipeRead>();
    std::thread([shared, fd, deadline, limit] {
        QByteArray bytes;
        bool complete = false;
        char buffer[65536];
        while (true) {
            const qint64 remaining = deadline.remainingTime();
            if (remaining == 0)
                break;
            pollfd pfd{fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, remaining < 0 ? -1 : int(qMin<qint64>(remaining, 1000)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                continue;
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (count < 0)
                break;
            if (count == 0) {
                complete = true;
                break;
            }
            if (bytes.size() + count > limit)
                break;
            bytes.append(buffer, count);
        }
        ::close(fd);
        std::lock_guard lock(shared->mutex);
        if (complete)
            shared->bytes = std::move(bytes);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();

    std::unique_lock lock(shared->mutex);
    shared->done.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(), [&] { return shared->finished; });
    if (!shared->finished)
        return std::nullopt;
    return shared->bytes;
}

} // namespace

struct DataControlPasteboard::Snapshot {
    qint64 key = 0;
    std::shared_ptr<DataControlOffer> offer;
    std::optional<SelectionRepresentations> own;
    QStringList targets;
    bool secret = false;
    QDeadlineTimer deadline;
    bool exhausted = false;
    QHash<QString, std::optional<QByteArray>> cache;
    bool urisLoaded = false;
    QList<QByteArray> fileUris;
};

DataControlPasteboard::DataControlPasteboard(DataControlSelectionOwner* owner, std::chrono::milliseconds readBudget,
                                             QObject* parent)
    : SelectionPasteboard(parent), owner_(owner), readBudget_(readBudget)
{
}

DataControlPasteboard::~DataControlPasteboard() = default;

void DataControlPasteboard::selectionChanged(std::shared_ptr<DataControlOffer> offer, bool ownSelection)
{
    {
        std::lock_guard lock(mutex_);
        offer_ = std::move(offer);
        // Our own write counted itself when it was made; its announcement is no new change.
        if (ownSelection && ownContents_)
            return;
        ownContents_.reset();
        ++counter_;
    }
    // Offers are read when they are asked for: the new copy is readable as soon as it is announced.
    emit changeNoticed();
    emit changed();
}

qint64 DataControlPasteboard::changeCount()
{
    return counter_.load();
}

bool DataControlPasteboard::holdsOwnWrite()
{
    std::lock_guard lock(mutex_);
    return ownChange_ == counter_.load();
}

std::shared_ptr<DataControlPasteboard::Snapshot> DataControlPasteboard::snapshot()
{
    std::lock_guard lock(mutex_);
    const qint64 key = counter_.load();
    if (snapshot_ && snapshot_->key == key)
        return snapshot_;
    auto snap = std::make_shared<Snapshot>();
    snap->key = key;
    snap->own = ownContents_;
    snap->offer = snap->own ? nullptr : offer_;
    QList<QByteArray> mimeTypes;
    if (snap->own) {
        for (const auto& representation : *snap->own)
            mimeTypes.append(representation.first);
    } else if (snap->offer) {
        mimeTypes = snap->offer->mimeTypes();
    }
    for (const QByteArray& type : mimeTypes) {
        const QString name = QString::fromUtf8(type);
        if (!snap->targets.contains(name))
            snap->targets.append(name);
    }
    snap->secret = snap->targets.contains(PasteboardTypes::passwordManagerHint);
    snap->deadline = QDeadlineTimer(readBudget_);
    snapshot_ = snap;
    return snap;
}

std::optional<QByteArray> DataControlPasteboard::target(const QString& name)
{
    const std::shared_ptr<Snapshot> snap = snapshot();
    // A copy marked secret is dropped from its types alone: nothing of it is ever read.
    if (snap->secret || !snap->targets.contains(name))
        return std::nullopt;
    const auto cached = snap->cache.constFind(name);
    if (cached != snap->cache.constEnd())
        return cached.value();

    std::optional<QByteArray> result;
    const QByteArray mimeType = name.toUtf8();
    if (snap->own) {
        for (const auto& representation : *snap->own) {
            if (representation.first == mimeType)
                result = representation.second;
        }
    } else if (snap->offer && !snap->exhausted) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            const bool asked = snap->offer->receive(mimeType, fds[1]);
            ::close(fds[1]);
            if (asked) {
                result = readPipe(fds[0], snap->deadline,
                                  name == uriListTarget ? maximumUriListBytes : maximumRepresentationBytes);
            } else {
                ::close(fds[0]);
            }
            if (!result && snap->deadline.hasExpired())
                snap->exhausted = true;
        }
    }
    snap->cache.insert(name, result);
    return result;
}

QList<QByteArray> DataControlPasteboard::fileUris()
{
    const std::shared_ptr<Snapshot> snap = snapshot();
    if (!snap->urisLoaded) {
        snap->urisLoaded = true;
        snap->fileUris = SelectionTargetView::offeredFileUris([this](const QString& name) { return target(name); });
    }
    return snap->fileUris;
}

std::optional<QStringList> DataControlPasteboard::targets()
{
    return snapshot()->targets;
}

SelectionRepresentations DataControlPasteboard::representationsForItems(const QList<PasteboardItem>& items)
{
    const std::unique_ptr<QMimeData> mime(SystemPasteboard::mimeDataForItems(items));
    SelectionRepresentations representations;
    for (const QString& format : mime->formats()) {
        const QByteArray bytes = mime->data(format);
        representations.append({format.toUtf8(), bytes});
        // Wayland programs ask for text by its charset-qualified type, X11 programs (through
        // XWayland) by the old target names.
        if (format == QLatin1String("text/plain")) {
            for (const char* alias : {"text/plain;charset=utf-8", "UTF8_STRING", "TEXT", "STRING"})
                representations.append({QByteArray(alias), bytes});
        }
    }
    return representations;
}

bool DataControlPasteboard::writeItems(const QList<PasteboardItem>& items, WriteKind)
{
    const SelectionRepresentations representations = representationsForItems(items);
    {
        std::lock_guard lock(mutex_);
        // Marked before the source is set: its announcement may arrive while setSelection waits.
        ownContents_ = representations;
        ownChange_ = ++counter_;
    }
    const bool owned = owner_ && owner_->setSelection(representations);
    if (!owned) {
        std::lock_guard lock(mutex_);
        ownContents_.reset();
    }
    return owned;
}

} // namespace tolvi
