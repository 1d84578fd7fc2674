#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SelectionTargetView.h"
#include "Tolvi/platform/pasteboard/X11SelectionReader.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QWindow>

#include <xcb/xcb.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace tolvi {

namespace {

const QString uriListTarget = QStringLiteral("text/uri-list");
// A list of 100 references of 8,192 bytes each, with line ends, fits well below this.
constexpr qint64 maximumUriListBytes = 2 * 1024 * 1024;
// Kept rich text is at most 1,000,000 bytes: a longer one is never kept, so never read whole.
constexpr qint64 maximumRichTextBytes = 1'000'000;
constexpr qint64 maximumDataBytes = 64 * 1024 * 1024;

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The type identifiers of a list of targets, as types() gives them before the file references
// are known.
QStringList identifiersOf(const QStringList& targets)
{
    QStringList identifiers;
    for (const QString& name : targets) {
        std::optional<QString> identifier = PasteboardTypes::typeIdentifierForTarget(name);
        if (name == uriListTarget || name == PasteboardTypes::gnomeCopiedFilesTarget)
            identifier = PasteboardTypes::fileURL;
        if (identifier && !identifiers.contains(*identifier))
            identifiers.append(*identifier);
    }
    return identifiers;
}

} // namespace

// A hidden window of Qt's own whose property changes Qt notices (and takes the time from).
class SystemPasteboard::TimestampWatcher final : public QAbstractNativeEventFilter {
public:
    TimestampWatcher()
    {
        window_.create();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~TimestampWatcher() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    std::uint32_t window() const { return std::uint32_t(window_.winId()); }
    void expect() { seen_ = false; }
    bool seen() const { return seen_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<const xcb_property_notify_event_t*>(event)->window == window())
            seen_ = true;
        return false;
    }

private:
    QWindow window_;
    bool seen_ = false;
};

// Watches CLIPBOARD on a thread of its own and reads every new owner's contents there.
class SystemPasteboard::Watcher {
public:
    Watcher(SystemPasteboard* board, std::chrono::milliseconds budget, ReadPolicy mayRead)
        : board_(board), budget_(budget), mayRead_(std::move(mayRead)), reader_(std::make_unique<X11SelectionReader>())
    {
        xcb_connection_t* qt = qtConnection();
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (!qt || wake_ < 0 || !reader_->isValid() || !reader_->watchesChanges()) {
            reader_.reset();
            return;
        }
        // Every window Qt creates carries the resource base of Qt's own connection.
        const xcb_setup_t* setup = xcb_get_setup(qt);
        ownBase_ = setup->resource_id_base;
        ownMask_ = setup->resource_id_mask;
        reader_->setInterruptDescriptor(wake_);
        reader_->setAbandonReadsOnChange(true);
        thread_ = std::thread([this] { run(); });
    }

    ~Watcher()
    {
        stopping_ = true;
        if (wake_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof(one));
        }
        if (thread_.joinable())
            thread_.join();
        reader_.reset();
        if (wake_ >= 0)
            ::close(wake_);
    }

    bool isValid() const { return reader_ != nullptr; }

private:
    bool isOwn(std::uint32_t owner) const { return owner && (owner & ~ownMask_) == ownBase_; }

    void run()
    {
        bool initial = true;
        for (;;) {
            if (!initial && !reader_->waitForChange())
                return;
            // Reads the newest owner until a read is not overtaken by yet another copy.
            for (;;) {
                if (stopping_)
                    return;
                reader_->markUnchanged();
                const std::uint32_t owner = reader_->owner();
                const bool local = isOwn(owner);
                if (!initial) {
                    QMetaObject::invokeMethod(
                        board_, [board = board_, local] { board->ownerChanged(local); }, Qt::QueuedConnection);
                }
                std::shared_ptr<const Contents> contents = read(owner, local);
                if (stopping_)
                    return;
                if (!contents || reader_->changedSinceMark()) {
                    // Overtaken by another copy: that one was made after we started looking,
                    // so it is a copy of its own even when what it replaced was there before.
                    initial = false;
                    continue;
                }
                QMetaObject::invokeMethod(
                    board_, [board = board_, contents, initial] { board->contentsRead(contents, initial); },
                    Qt::QueuedConnection);
                break;
            }
            initial = false;
        }
    }

    // Nothing when another copy took the clipboard meanwhile.
    std::shared_ptr<const Contents> read(std::uint32_t owner, bool local)
    {
        auto contents = std::make_shared<Contents>();
        if (!owner) {
            contents->targets = QStringList();
            return contents;
        }
        if (local) {
            contents->local = true;
            return contents;
        }
        contents->fromWindowManager = reader_->belongsToWindowManager(owner);
        const QDeadlineTimer deadline(budget_);
        const std::optional<QList<QByteArray>> names = reader_->targets(deadline);
        if (reader_->changedSinceMark())
            return nullptr;
        if (!names)
            return contents;
        QStringList targets;
        for (const QByteArray& name : *names)
            targets.append(QString::fromLatin1(name));
        contents->targets = targets;

        const QStringList identifiers = identifiersOf(targets);
        const bool readable = mayRead_ ? mayRead_(identifiers)
                                       : !identifiers.contains(PasteboardTypes::passwordManagerHint);
        if (!readable)
            return contents;

        bool overtaken = false;
        // Reads the first offered target of the list that gives bytes (non-empty ones only when
        // asked); false when none did.
        const auto readFirst = [&](const QStringList& candidates, qint64 limit, bool nonEmpty) {
            for (const QString& name : candidates) {
                if (overtaken || deadline.hasExpired())
                    return false;
                if (!targets.contains(name))
                    continue;
                const std::optional<QByteArray> bytes = reader_->read(name.toLatin1(), deadline, limit);
                if (reader_->changedSinceMark()) {
                    overtaken = true;
                    return false;
                }
                if (bytes)
                    contents->data.insert(name, *bytes);
                if (bytes && (!nonEmpty || !bytes->isEmpty()))
                    return true;
            }
            return false;
        };
        namespace T = PasteboardTypes;
        readFirst(T::targetsForTypeIdentifier(T::plainText), maximumDataBytes, false);
        readFirst(T::targetsForTypeIdentifier(T::rtf), maximumRichTextBytes, false);
        readFirst(T::targetsForTypeIdentifier(T::html), maximumRichTextBytes, false);
        readFirst({uriListTarget}, maximumUriListBytes, false);
        readFirst({T::gnomeCopiedFilesTarget}, maximumUriListBytes, false);
        QStringList imageTargets;
        for (const QString& identifier : {T::png, T::tiff, T::jpeg, T::gif, T::heic, T::heif, T::webp})
            imageTargets += T::targetsForTypeIdentifier(identifier);
        readFirst(imageTargets, maximumDataBytes, true);
        if (overtaken)
            return nullptr;
        return contents;
    }

    SystemPasteboard* board_;
    std::chrono::milliseconds budget_;
    ReadPolicy mayRead_;
    std::unique_ptr<X11SelectionReader> reader_;
    std::uint32_t ownBase_ = 0;
    std::uint32_t ownMask_ = 0;
    int wake_ = -1;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

struct SystemPasteboard::Snapshot {
    qint64 key = 0;
    std::shared_ptr<const Contents> contents;
    // Of a local snapshot: what was read from our own process.
    bool localTargetsLoaded = false;
    std::optional<QStringList> localTargets;
    QHash<QString, std::optional<QByteArray>> localCache;
    bool urisLoaded = false;
    QList<QByteArray> fileUris;
};

SystemPasteboard::SystemPasteboard(std::chrono::milliseconds readBudget, ReadPolicy mayRead, QObject* parent)
    : SelectionPasteboard(parent), clipboard_(QGuiApplication::clipboard()), readBudget_(readBudget)
{
    if (xcb_connection_t* qt = qtConnection(); qt && QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QByteArray name("CLIPBOARD");
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(qt, xcb_intern_atom(qt, 0, quint16(name.size()), name.constData()), nullptr);
        if (reply) {
            clipboardAtom_ = reply->atom;
            std::free(reply);
            watcher_ = std::make_unique<Watcher>(this, readBudget_, std::move(mayRead));
            if (!watcher_->isValid())
                watcher_.reset();
        }
    }
    if (!watcher_) {
        connect(clipboard_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                qtClipboardChanged();
        });
    }
}

SystemPasteboard::~SystemPasteboard()
{
    // Stops the reading thread before anything it could report to is gone.
    watcher_.reset();
}

void SystemPasteboard::publish(qint64 key, std::shared_ptr<const Contents> contents)
{
    auto snap = std::make_shared<Snapshot>();
    snap->key = key;
    snap->contents = std::move(contents);
    snapshot_ = std::move(snap);
}

bool SystemPasteboard::selectionHoldsOwnWrite()
{
    // Asking Qt for the data of a clipboard it does not own would wait for the owner: ask the
    // server first.
    return ownMimeData_ && ownsSelection() && clipboard_->mimeData(QClipboard::Clipboard) == ownMimeData_;
}

void SystemPasteboard::ownerChanged(bool local)
{
    // Our own write counts itself and is announced by nobody.
    if (writing_ || (local && selectionHoldsOwnWrite()))
        return;
    emit changeNoticed();
}

void SystemPasteboard::contentsRead(const std::shared_ptr<const Contents>& contents, bool initial)
{
    if (writing_)
        return;
    if (initial) {
        // What was there before we looked; a write of ours since then is newer.
        if (counter_ == 0)
            publish(counter_, contents);
        return;
    }
    if (contents->local) {
        // Ours no longer: the next owner's contents are on their way. Ours still: the notice of
        // our own write (already counted), or a copy made in one of our windows.
        if (!ownsSelection() || selectionHoldsOwnWrite())
            return;
    } else {
        ownMimeData_ = nullptr;
    }
    ++counter_;
    publish(counter_, contents);
    emit changed();
}

void SystemPasteboard::qtClipboardChanged()
{
    if (writing_)
        return;
    if (ownMimeData_ && clipboard_->mimeData(QClipboard::Clipboard) == ownMimeData_)
        return;
    ownMimeData_ = nullptr;
    emit changeNoticed();
    auto contents = std::make_shared<Contents>();
    contents->local = true;
    ++counter_;
    publish(counter_, std::move(contents));
    emit changed();
}

qint64 SystemPasteboard::changeCount()
{
    return counter_;
}

bool SystemPasteboard::copyCameFromWindowManager()
{
    return snapshot()->contents->fromWindowManager;
}

std::shared_ptr<SystemPasteboard::Snapshot> SystemPasteboard::snapshot()
{
    if (!snapshot_ || snapshot_->key != counter_) {
        // Nothing read yet (the first owner's contents are on their way), or without a display
        // of our own: what Qt holds.
        auto contents = std::make_shared<Contents>();
        contents->local = !watcher_;
        publish(counter_, std::move(contents));
    }
    return snapshot_;
}

std::optional<QStringList> SystemPasteboard::targets()
{
    const std::shared_ptr<Snapshot> snap = snapshot();
    if (!snap->contents->local)
        return snap->contents->targets;
    if (!snap->localTargetsLoaded) {
        snap->localTargetsLoaded = true;
        const QMimeData* mime = (watcher_ && !ownsSelection()) ? nullptr : clipboard_->mimeData(QClipboard::Clipboard);
        if (mime)
            snap->localTargets = mime->formats();
        else if (!watcher_)
            snap->localTargets = QStringList();
    }
    return snap->localTargets;
}

std::optional<QByteArray> SystemPasteboard::target(const QString& name)
{
    const std::shared_ptr<Snapshot> snap = snapshot();
    const std::optional<QStringList> listed = targets();
    if (!listed || !listed->contains(name))
        return std::nullopt;
    if (!snap->contents->local) {
        const auto found = snap->contents->data.constFind(name);
        if (found == snap->contents->data.constEnd())
            return std::nullopt;
        return found.value();
    }
    const auto cached = snap->localCache.constFind(name);
    if (cached != snap->localCache.constEnd())
        return cached.value();
    std::optional<QByteArray> result;
    // Our own data, unless another program took the clipboard meanwhile.
    if (!watcher_ || ownsSelection()) {
        if (const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard); mime && mime->hasFormat(name))
            result = mime->data(name);
    }
    snap->localCache.insert(name, result);
    return result;
}

QList<QByteArray> SystemPasteboard::fileUris()
{
    const std::shared_ptr<Snapshot> snap = snapshot();
    if (!snap->urisLoaded) {
        snap->urisLoaded = true;
        const std::optional<QStringList> listed = targets();
        // A copy marked secret is dropped from its types alone: read nothing of it.
        if (!listed || listed->contains(PasteboardTypes::passwordManagerHint))
            return snap->fileUris;
        snap->fileUris = SelectionTargetView::offeredFileUris([this](const QString& name) { return target(name); });
    }
    return snap->fileUris;
}

QMimeData* SystemPasteboard::mimeDataForItems(const QList<PasteboardItem>& items)
{
    auto* mime = new QMimeData;
    QList<QByteArray> uris;
    QList<QByteArray> texts;
    for (const PasteboardItem& item : items) {
        if (std::optional<QByteArray> uri = item.data(PasteboardTypes::fileURL))
            uris.append(*uri);
    }
    if (!uris.isEmpty()) {
        // File references: the URI list of RFC 2483, the copied-files list file managers read,
        // and the paths as text.
        for (const PasteboardItem& item : items) {
            if (std::optional<QByteArray> text = item.data(PasteboardTypes::plainText))
                texts.append(*text);
        }
        mime->setData(uriListTarget, uris.join("\r\n") + "\r\n");
        mime->setData(PasteboardTypes::gnomeCopiedFilesTarget, "copy\n" + uris.join('\n'));
        if (!texts.isEmpty())
            mime->setData(QStringLiteral("text/plain"), texts.join('\n'));
        return mime;
    }
    for (const PasteboardItem& item : items) {
        for (const QString& type : item.types()) {
            const QString mimeType = PasteboardTypes::mimeTypeForTypeIdentifier(type);
            if (!mime->hasFormat(mimeType))
                mime->setData(mimeType, *item.data(type));
        }
    }
    return mime;
}

bool SystemPasteboard::ownsSelection()
{
    if (!watcher_)
        return clipboard_->ownsClipboard();
    xcb_connection_t* qt = qtConnection();
    if (!qt || !clipboardAtom_)
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(qt, xcb_get_selection_owner(qt, clipboardAtom_), nullptr);
    const std::uint32_t owner = reply ? reply->owner : 0;
    std::free(reply);
    if (!owner)
        return false;
    // Every window Qt creates carries the resource base of Qt's own connection.
    const xcb_setup_t* setup = xcb_get_setup(qt);
    return (owner & ~setup->resource_id_mask) == setup->resource_id_base;
}

void SystemPasteboard::refreshQtTimestamp()
{
    xcb_connection_t* qt = qtConnection();
    if (!qt)
        return;
    if (!timestampWatcher_)
        timestampWatcher_ = std::make_unique<TimestampWatcher>();
    timestampWatcher_->expect();
    // Appending nothing to a property makes the server answer with a PropertyNotify that carries
    // its current time.
    const QByteArray name("TOLVI_TIMESTAMP");
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(qt, xcb_intern_atom(qt, 0, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return;
    xcb_change_property(qt, XCB_PROP_MODE_APPEND, timestampWatcher_->window(), atom->atom, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    std::free(atom);
    xcb_flush(qt);
    QDeadlineTimer deadline(250);
    while (!timestampWatcher_->seen() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

bool SystemPasteboard::writeItems(const QList<PasteboardItem>& items, WriteKind)
{
    // One call replaces the whole contents: there is never a moment with the old contents gone
    // and the new ones not yet offered.
    writing_ = true;
    clipboard_->setMimeData(mimeDataForItems(items), QClipboard::Clipboard);
    bool owned = ownsSelection();
    if (!owned && watcher_) {
        // The server ignored the claim because Qt's idea of the time was older than the current
        // owner's; claim again with a fresh time. Only a claim the server accepted is a success.
        refreshQtTimestamp();
        clipboard_->setMimeData(mimeDataForItems(items), QClipboard::Clipboard);
        owned = ownsSelection();
    }
    writing_ = false;
    // One write, one change.
    ownChange_ = ++counter_;
    auto contents = std::make_shared<Contents>();
    contents->local = owned;
    publish(counter_, std::move(contents));
    ownMimeData_ = owned ? clipboard_->mimeData(QClipboard::Clipboard) : nullptr;
    return owned;
}

} // namespace tolvi
