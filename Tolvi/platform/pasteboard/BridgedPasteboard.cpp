#include "Tolvi/platform/pasteboard/BridgedPasteboard.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include <QMetaObject>

namespace tolvi {

BridgedPasteboard::BridgedPasteboard(Sides sides, QObject* parent)
    : Pasteboard(parent), sides_(std::move(sides)), seatSeen_(sides_.seat.changeCount()),
      xwaylandSeen_(sides_.xwayland.changeCount())
{
    connect(&sides_.seat, &Pasteboard::changed, this, &BridgedPasteboard::sideChanged);
    connect(&sides_.xwayland, &Pasteboard::changed, this, &BridgedPasteboard::sideChanged);
}

std::optional<BridgedPasteboard::ContentKey> BridgedPasteboard::contentKey(Pasteboard& board)
{
    namespace T = PasteboardTypes;
    const std::optional<QStringList> types = board.types();
    if (!types)
        return std::nullopt;
    for (const QString& type : {T::plainText, T::png, T::tiff, T::jpeg, T::gif, T::webp, T::heic, T::heif}) {
        if (!types->contains(type))
            continue;
        const std::optional<QByteArray> bytes = board.data(type);
        if (!bytes)
            return std::nullopt;
        return ContentKey{type, *bytes};
    }
    QByteArray references;
    const int count = board.itemCount();
    for (int i = 0; i < count; ++i) {
        if (const std::optional<QByteArray> reference = board.itemData(i, T::fileURL))
            references += *reference + '\n';
    }
    if (references.isEmpty())
        return std::nullopt;
    return ContentKey{T::fileURL, references};
}

bool BridgedPasteboard::absorb()
{
    bool counted = false;
    // The seat first: of two announcements of one copy seen at once, the seat's is kept.
    if (const qint64 seat = sides_.seat.changeCount(); seat != seatSeen_) {
        seatSeen_ = seat;
        counted = takeSeatCopy() || counted;
    }
    if (const qint64 xwayland = sides_.xwayland.changeCount(); xwayland != xwaylandSeen_) {
        xwaylandSeen_ = xwayland;
        counted = takeXWaylandCopy() || counted;
    }
    return counted;
}

bool BridgedPasteboard::takeSeatCopy()
{
    std::optional<ContentKey> key = contentKey(sides_.seat);
    if (pendingX11Copy_ && key && *key == *pendingX11Copy_) {
        // The X11 copy, carried over by the compositor: counted already.
        pendingX11Copy_.reset();
        return false;
    }
    pendingX11Copy_.reset();
    recentSeatCopy_ = std::move(key);
    recentSeatCopyTime_.start();
    current_ = Side::seat;
    ++counter_;
    return true;
}

bool BridgedPasteboard::takeXWaylandCopy()
{
    // Whatever the X11 side held before is gone from it now.
    pendingX11Copy_.reset();
    if (sides_.xwaylandCopyIsCarriedOver && sides_.xwaylandCopyIsCarriedOver())
        return false;
    std::optional<ContentKey> key = contentKey(sides_.xwayland);
    if (recentSeatCopy_ && key && *key == *recentSeatCopy_ &&
        std::chrono::milliseconds(recentSeatCopyTime_.elapsed()) <= sides_.moment) {
        // The seat announced this copy first, carried over from X11.
        recentSeatCopy_.reset();
        return false;
    }
    recentSeatCopy_.reset();
    pendingX11Copy_ = std::move(key);
    current_ = Side::xwayland;
    ++counter_;
    return true;
}

void BridgedPasteboard::sideChanged()
{
    if (!absorb())
        return;
    emit changeNoticed();
    emit changed();
}

bool BridgedPasteboard::announcesEveryChange() const
{
    return sides_.seat.announcesEveryChange() && sides_.xwayland.announcesEveryChange();
}

qint64 BridgedPasteboard::changeCount()
{
    // A side may have moved before its announcement reached us: counted now, announced soon (the
    // notice is left out, as the caller has seen the change already).
    if (absorb())
        QMetaObject::invokeMethod(this, &Pasteboard::changed, Qt::QueuedConnection);
    return counter_;
}

std::optional<QStringList> BridgedPasteboard::types()
{
    return board(current_).types();
}

int BridgedPasteboard::itemCount()
{
    return board(current_).itemCount();
}

QStringList BridgedPasteboard::itemTypes(int index)
{
    return board(current_).itemTypes(index);
}

std::optional<QByteArray> BridgedPasteboard::itemData(int index, const QString& type)
{
    return board(current_).itemData(index, type);
}

std::optional<QByteArray> BridgedPasteboard::data(const QString& type)
{
    return board(current_).data(type);
}

bool BridgedPasteboard::writeItems(const QList<PasteboardItem>& items, WriteKind kind)
{
    // Anything either side announced before is older than this write.
    absorb();
    const bool written = sides_.seat.write(items, kind);
    seatSeen_ = sides_.seat.changeCount();
    pendingX11Copy_.reset();
    recentSeatCopy_.reset();
    current_ = Side::seat;
    ownChange_ = ++counter_;
    return written;
}

bool BridgedPasteboard::holdsOwnWrite()
{
    // Our write comes back over XWayland as the compositor's copy, which is never counted: only
    // a copy made since, on either side, moves the count past it.
    absorb();
    return ownChange_ == counter_;
}

} // namespace tolvi
