#pragma once

#include "Tolvi/platform/pasteboard/SelectionPasteboard.h"
#include "Tolvi/platform/wayland/DataControlOffer.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

namespace tolvi {

// The clipboard of a Wayland session, seen through data control: the seat's clipboard selection
// (never the primary one). The change count rises on every selection event (our own write counts
// once, when it is made); the types are the offer's MIME types mapped as on X11; representations
// are read through the offer into a pipe, in a thread of their own, within a time budget per
// change, so an owner that stopped answering costs the caller at most the budget once. A copy
// carrying the password-manager hint is never read.
//
// selectionChanged() may be called from any thread (the Wayland dispatch thread does); changed()
// is then emitted in this object's thread.
class DataControlPasteboard final : public SelectionPasteboard {
    Q_OBJECT
public:
    explicit DataControlPasteboard(DataControlSelectionOwner* owner,
                                   std::chrono::milliseconds readBudget = std::chrono::milliseconds(750),
                                   QObject* parent = nullptr);
    ~DataControlPasteboard() override;

    // A new clipboard selection: its offer, null when the clipboard is empty.
    void selectionChanged(std::shared_ptr<DataControlOffer> offer, bool ownSelection);

    qint64 changeCount() override;
    bool holdsOwnWrite() override;
    // Every selection event of the seat is announced.
    bool announcesEveryChange() const override { return true; }

    // The MIME types and bytes a write offers (exposed for tests).
    static SelectionRepresentations representationsForItems(const QList<PasteboardItem>& items);

    std::chrono::milliseconds readBudget() const { return readBudget_; }

private:
    struct Snapshot;
    bool writeItems(const QList<PasteboardItem>& items, WriteKind kind) override;
    std::shared_ptr<Snapshot> snapshot();
    std::optional<QStringList> targets() override;
    std::optional<QByteArray> target(const QString& name) override;
    QList<QByteArray> fileUris() override;

    DataControlSelectionOwner* owner_;
    std::chrono::milliseconds readBudget_;
    std::atomic<qint64> counter_{0};
    std::mutex mutex_;
    std::shared_ptr<DataControlOffer> offer_;
    // What our last write offered, while it is still the selection.
    std::optional<SelectionRepresentations> ownContents_;
    // The change our last write() made.
    qint64 ownChange_ = -1;
    std::shared_ptr<Snapshot> snapshot_;
};

} // namespace tolvi
