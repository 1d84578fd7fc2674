#pragma once

#include "Tolvi/platform/pasteboard/SelectionPasteboard.h"

#include <QHash>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QClipboard;
class QMimeData;

namespace tolvi {

// The desktop's clipboard: the CLIPBOARD selection (never PRIMARY, the select-to-copy buffer).
//
// X11 has no change count, so this keeps its own. Another program's copy is noticed and read
// on a thread of our own, over a connection of our own, as soon as the X server reports the new
// owner: the representations a reader of this interface may ask for are all read then, within a
// time budget per copy, and only then does the change count move (and changed() follow). So no
// read on the calling thread ever waits for another program: an owner that stopped answering
// costs the budget on the reading thread, and its copy reads as nothing. A copy replaced before
// it could be read is never offered; the newest one is read instead.
//
// Our own write() counts itself once, synchronously; copies made in our own windows are read
// from our own process.
class SystemPasteboard final : public SelectionPasteboard {
    Q_OBJECT
public:
    // Decides from the type identifiers a copy offers whether anything of it may be read at all
    // (a copy marked secret is not). Called on the reading thread. Empty: every copy is read
    // unless it carries the password-manager hint.
    using ReadPolicy = std::function<bool(const QStringList& typeIdentifiers)>;

    explicit SystemPasteboard(std::chrono::milliseconds readBudget = std::chrono::milliseconds(750),
                              ReadPolicy mayRead = {}, QObject* parent = nullptr);
    ~SystemPasteboard() override;

    qint64 changeCount() override;
    bool holdsOwnWrite() override { return ownChange_ == counter_; }
    // With the reading thread (XFixes tells it of every new owner); through Qt alone, changes
    // made while none of our windows has the focus may go unseen.
    bool announcesEveryChange() const override { return readsInBackground(); }

    // The QMimeData a write puts on the clipboard (exposed for tests).
    static QMimeData* mimeDataForItems(const QList<PasteboardItem>& items);

    std::chrono::milliseconds readBudget() const { return readBudget_; }
    // The current copy is held by the window manager's own connection: under XWayland, the
    // compositor offering the Wayland side's clipboard to X11 programs.
    bool copyCameFromWindowManager();
    // True when other programs' copies are watched and read on the reading thread (an X11
    // display); otherwise only Qt's own clipboard is seen.
    bool readsInBackground() const { return watcher_ != nullptr; }

    // What one owner offered, as read on the reading thread.
    struct Contents {
        // One of our own windows owns the clipboard: read it from our own process.
        bool local = false;
        // The window manager owns it (see copyCameFromWindowManager()).
        bool fromWindowManager = false;
        // The offered targets; nothing when the owner did not name them in time.
        std::optional<QStringList> targets;
        // The targets read, by name, with their bytes.
        QHash<QString, QByteArray> data;
    };

private:
    class Watcher;
    struct Snapshot;

    bool writeItems(const QList<PasteboardItem>& items, WriteKind kind) override;

    std::shared_ptr<Snapshot> snapshot();
    void publish(qint64 key, std::shared_ptr<const Contents> contents);
    std::optional<QByteArray> target(const QString& name) override;
    std::optional<QStringList> targets() override;
    QList<QByteArray> fileUris() override;
    // From the reading thread.
    void ownerChanged(bool local);
    void contentsRead(const std::shared_ptr<const Contents>& contents, bool initial);
    // A change seen through Qt alone (no X11 display).
    void qtClipboardChanged();
    // Whether the X server still names our window as the owner and Qt still offers the data
    // our last write() put there.
    bool selectionHoldsOwnWrite();
    // Whether the X server names one of our own windows as the owner of CLIPBOARD. Qt's own
    // answer can be wrong: it also says yes when the server ignored our claim.
    bool ownsSelection();
    // Makes Qt learn the server's current time, so that its next claim of the selection is not
    // older than the current owner's (the server ignores such a claim).
    void refreshQtTimestamp();

    QClipboard* clipboard_ = nullptr;
    std::chrono::milliseconds readBudget_;
    qint64 counter_ = 0;
    // The change our last write() made.
    qint64 ownChange_ = -1;
    std::shared_ptr<Snapshot> snapshot_;
    bool writing_ = false;
    const void* ownMimeData_ = nullptr;
    std::uint32_t clipboardAtom_ = 0;
    std::unique_ptr<Watcher> watcher_;
    class TimestampWatcher;
    std::unique_ptr<TimestampWatcher> timestampWatcher_;
};

} // namespace tolvi
