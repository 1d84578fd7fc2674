#pragma once

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include <QHash>
#include <QObject>

#include <chrono>
#include <memory>

class QClipboard;
class QMimeData;

namespace tolvi {

class X11SelectionReader;
struct SelectionTargetView;

// The desktop's clipboard: the CLIPBOARD selection (never PRIMARY, the select-to-copy buffer).
//
// X11 has no change count, so this keeps its own, raised whenever Qt reports a new CLIPBOARD
// owner (also for copies made by other programs, and synchronously for our own writes).
// Contents that another program owns are read over a connection of our own with a time budget
// per change: an owner that stopped answering costs at most the budget once, and its change reads
// as nothing. A new copy noticed while a change is being read moves the change count at once, so
// a reader that compares the count before and after its reads sees it.
class SystemPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit SystemPasteboard(std::chrono::milliseconds readBudget = std::chrono::milliseconds(750),
                              QObject* parent = nullptr);
    ~SystemPasteboard() override;

    qint64 changeCount() override;
    std::optional<QStringList> types() override;
    int itemCount() override;
    QStringList itemTypes(int index) override;
    std::optional<QByteArray> itemData(int index, const QString& type) override;
    std::optional<QByteArray> data(const QString& type) override;
    bool write(const QList<PasteboardItem>& items) override;

    // The QMimeData a write puts on the clipboard (exposed for tests).
    static QMimeData* mimeDataForItems(const QList<PasteboardItem>& items);

    std::chrono::milliseconds readBudget() const { return readBudget_; }

private:
    struct Snapshot;
    // The snapshot of the current change. Callers hold it while they read: a change noticed
    // meanwhile starts a new one for later readers.
    std::shared_ptr<Snapshot> snapshot();
    // The raw bytes of one target (X11 target name or MIME type), read at most once per change.
    std::optional<QByteArray> target(const QString& name);
    bool ensureTargets();
    QList<QByteArray> fileUris();
    SelectionTargetView view();
    void noteChangeDuringRead();
    void clipboardChanged();
    // Whether the X server names one of our own windows as the owner of CLIPBOARD. Qt's own
    // answer can be wrong: it also says yes when the server ignored our claim.
    bool ownsSelection();
    // Makes Qt learn the server's current time, so that its next claim of the selection is not
    // older than the current owner's (the server ignores such a claim).
    void refreshQtTimestamp();

    QClipboard* clipboard_ = nullptr;
    std::unique_ptr<X11SelectionReader> reader_;
    std::chrono::milliseconds readBudget_;
    qint64 counter_ = 0;
    qint64 pendingBump_ = 0;
    std::shared_ptr<Snapshot> snapshot_;
    bool writing_ = false;
    const void* ownMimeData_ = nullptr;
    class TimestampWatcher;
    std::unique_ptr<TimestampWatcher> timestampWatcher_;
};

} // namespace tolvi
