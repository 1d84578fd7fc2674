#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SelectionTargetView.h"
#include "Tolvi/platform/pasteboard/X11SelectionReader.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QWindow>

#include <xcb/xcb.h>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdint>

namespace tolvi {

namespace {

const QString uriListTarget = QStringLiteral("text/uri-list");
// A list of 100 references of 8,192 bytes each, with line ends, fits well below this.
constexpr qint64 maximumUriListBytes = 2 * 1024 * 1024;

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

struct SystemPasteboard::Snapshot {
    qint64 key = 0;
    bool local = false;
    std::uint32_t owner = 0;
    QDeadlineTimer deadline;
    bool exhausted = false;
    bool targetsLoaded = false;
    std::optional<QStringList> targets;
    QHash<QString, std::optional<QByteArray>> cache;
    bool urisLoaded = false;
    QList<QByteArray> fileUris;
};

SystemPasteboard::SystemPasteboard(std::chrono::milliseconds readBudget, QObject* parent)
    : QObject(parent), clipboard_(QGuiApplication::clipboard()), readBudget_(readBudget)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        reader_ = std::make_unique<X11SelectionReader>();
        if (!reader_->isValid())
            reader_.reset();
    }
    connect(clipboard_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            clipboardChanged();
    });
}

SystemPasteboard::~SystemPasteboard() = default;

void SystemPasteboard::clipboardChanged()
{
    // Our own write counts itself once; a late notice of our own claim is no new change.
    if (writing_)
        return;
    if (ownMimeData_ && clipboard_->mimeData(QClipboard::Clipboard) == ownMimeData_ && ownsSelection())
        return;
    ownMimeData_ = nullptr;
    // A change already noticed during a read was counted then; this is its notice.
    ++counter_;
    pendingBump_ = 0;
    snapshot_.reset();
}

qint64 SystemPasteboard::changeCount()
{
    return counter_ + pendingBump_;
}

std::shared_ptr<SystemPasteboard::Snapshot> SystemPasteboard::snapshot()
{
    if (snapshot_ && snapshot_->key == changeCount())
        return snapshot_;
    snapshot_ = std::make_shared<Snapshot>();
    snapshot_->key = changeCount();
    snapshot_->local = !reader_ || ownsSelection();
    if (!snapshot_->local) {
        reader_->markUnchanged();
        snapshot_->owner = reader_->owner();
        snapshot_->deadline = QDeadlineTimer(readBudget_);
    }
    return snapshot_;
}

void SystemPasteboard::noteChangeDuringRead()
{
    pendingBump_ = 1;
}

bool SystemPasteboard::ensureTargets()
{
    const std::shared_ptr<Snapshot> held = snapshot();
    Snapshot& snap = *held;
    if (snap.targetsLoaded)
        return snap.targets.has_value();
    snap.targetsLoaded = true;
    if (snap.local) {
        const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard);
        snap.targets = mime ? mime->formats() : QStringList();
        return true;
    }
    if (snap.owner == 0) {
        snap.targets = QStringList();
        return true;
    }
    const std::optional<QList<QByteArray>> names = reader_->targets(snap.deadline);
    if (names) {
        QStringList targets;
        for (const QByteArray& name : *names)
            targets.append(QString::fromLatin1(name));
        snap.targets = targets;
    } else if (snap.deadline.hasExpired()) {
        snap.exhausted = true;
    }
    if (reader_->changedSinceMark() || reader_->owner() != snap.owner)
        noteChangeDuringRead();
    return snap.targets.has_value();
}

std::optional<QByteArray> SystemPasteboard::target(const QString& name)
{
    if (!ensureTargets())
        return std::nullopt;
    const std::shared_ptr<Snapshot> held = snapshot();
    Snapshot& snap = *held;
    if (!snap.targets || !snap.targets->contains(name))
        return std::nullopt;
    const auto cached = snap.cache.constFind(name);
    if (cached != snap.cache.constEnd())
        return cached.value();

    std::optional<QByteArray> result;
    if (snap.local) {
        if (const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard); mime && mime->hasFormat(name))
            result = mime->data(name);
    } else if (!snap.exhausted) {
        const qint64 limit = name == uriListTarget ? maximumUriListBytes : 64 * 1024 * 1024;
        result = reader_->read(name.toLatin1(), snap.deadline, limit);
        if (!result && snap.deadline.hasExpired())
            snap.exhausted = true;
        if (reader_->changedSinceMark() || reader_->owner() != snap.owner)
            noteChangeDuringRead();
    }
    // The snapshot may have been replaced when a change was noticed; cache in the one read from.
    snap.cache.insert(name, result);
    return result;
}

QList<QByteArray> SystemPasteboard::fileUris()
{
    ensureTargets();
    const std::shared_ptr<Snapshot> held = snapshot();
    Snapshot& snap = *held;
    if (!snap.urisLoaded) {
        snap.urisLoaded = true;
        // A copy marked secret is dropped from its types alone: read nothing of it.
        if (!snap.targets || snap.targets->contains(PasteboardTypes::passwordManagerHint))
            return snap.fileUris;
        if (std::optional<QByteArray> list = target(uriListTarget)) {
            const QList<QByteArray> uris = PasteboardTypes::parseUriList(*list);
            for (const QByteArray& uri : uris) {
                if (PasteboardTypes::isFileUri(uri)) {
                    snap.fileUris = uris;
                    break;
                }
            }
        }
    }
    return snap.fileUris;
}

SelectionTargetView SystemPasteboard::view()
{
    return {[this]() -> std::optional<QStringList> {
                if (!ensureTargets())
                    return std::nullopt;
                return snapshot()->targets;
            },
            [this](const QString& name) { return target(name); }, [this] { return fileUris(); }};
}

std::optional<QStringList> SystemPasteboard::types()
{
    return view().types();
}

int SystemPasteboard::itemCount()
{
    return view().itemCount();
}

QStringList SystemPasteboard::itemTypes(int index)
{
    return view().itemTypes(index);
}

std::optional<QByteArray> SystemPasteboard::itemData(int index, const QString& type)
{
    return view().itemData(index, type);
}

std::optional<QByteArray> SystemPasteboard::data(const QString& type)
{
    return view().data(type);
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
        mime->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + uris.join('\n'));
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
    if (!reader_)
        return clipboard_->ownsClipboard();
    const std::uint32_t owner = reader_->owner();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!owner || !x11 || !x11->connection())
        return false;
    // Every window Qt creates carries the resource base of Qt's own connection.
    const xcb_setup_t* setup = xcb_get_setup(x11->connection());
    return (owner & ~setup->resource_id_mask) == setup->resource_id_base;
}

void SystemPasteboard::refreshQtTimestamp()
{
    if (!timestampWatcher_)
        timestampWatcher_ = std::make_unique<TimestampWatcher>();
    timestampWatcher_->expect();
    reader_->touchProperty(timestampWatcher_->window());
    QDeadlineTimer deadline(250);
    while (!timestampWatcher_->seen() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

bool SystemPasteboard::write(const QList<PasteboardItem>& items)
{
    // One call replaces the whole contents: there is never a moment with the old contents gone
    // and the new ones not yet offered.
    writing_ = true;
    clipboard_->setMimeData(mimeDataForItems(items), QClipboard::Clipboard);
    bool owned = reader_ ? ownsSelection() : clipboard_->ownsClipboard();
    if (!owned && reader_) {
        // The server ignored the claim because Qt's idea of the time was older than the current
        // owner's; claim again with a fresh time. Only a claim the server accepted is a success.
        refreshQtTimestamp();
        clipboard_->setMimeData(mimeDataForItems(items), QClipboard::Clipboard);
        owned = ownsSelection();
    }
    writing_ = false;
    // One write, one change.
    ++counter_;
    pendingBump_ = 0;
    snapshot_.reset();
    ownMimeData_ = owned ? clipboard_->mimeData(QClipboard::Clipboard) : nullptr;
    return owned;
}

} // namespace tolvi
