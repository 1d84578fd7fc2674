#pragma once

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace tolvi {

// The clipboard of a Wayland session, seen from both of its sides: the seat's selection through
// data control (copies made in Wayland programs, and whatever the compositor carries over from
// X11), and XWayland's CLIPBOARD (copies made in X11 programs, which the compositor carries to
// the seat only while an X11 window has the focus, so possibly much later or never). Every copy
// is counted once, whichever side announces it first:
// - the X11 clipboard held by the compositor itself is the seat's copy carried over, never a
//   copy of its own (our own writes come back that way too);
// - a seat copy with the same bytes as the X11 copy still newest there is that copy, carried
//   over (whenever the compositor does it);
// - an X11 copy with the same bytes as a seat copy counted a moment before is that copy,
//   announced by the seat first.
// Reading answers from the side of the newest counted copy; writing goes to the seat, from where
// the compositor offers it to X11 programs.
//
// Both sides' announcements arrive here together with the new copy (changeNoticed() right
// before changed()): an announcement that turns out to be a carried-over copy says nothing.
class BridgedPasteboard final : public Pasteboard {
    Q_OBJECT
public:
    struct Sides {
        Pasteboard& seat;
        Pasteboard& xwayland;
        // XWayland's current copy is held by the compositor (carried over from the seat).
        std::function<bool()> xwaylandCopyIsCarriedOver;
        // How long after a seat copy the same bytes on the X11 side are taken for it.
        std::chrono::milliseconds moment = std::chrono::milliseconds(1000);
    };

    explicit BridgedPasteboard(Sides sides, QObject* parent = nullptr);

    qint64 changeCount() override;
    std::optional<QStringList> types() override;
    int itemCount() override;
    QStringList itemTypes(int index) override;
    std::optional<QByteArray> itemData(int index, const QString& type) override;
    std::optional<QByteArray> data(const QString& type) override;
    bool holdsOwnWrite() override;
    // When both sides announce every change.
    bool announcesEveryChange() const override;

    enum class Side { seat, xwayland };
    // The side the current contents are read from.
    Side currentSide() const { return current_; }

    // What tells two announcements of one copy apart from two copies: the first representation
    // of plain text, an image or file references, with its bytes. Nothing for a copy that
    // offers none of them or could not be read.
    struct ContentKey {
        QString type;
        QByteArray bytes;
        friend bool operator==(const ContentKey&, const ContentKey&) = default;
    };
    static std::optional<ContentKey> contentKey(Pasteboard& board);

private:
    bool writeItems(const QList<PasteboardItem>& items, WriteKind kind) override;
    Pasteboard& board(Side side) { return side == Side::seat ? sides_.seat : sides_.xwayland; }
    // Takes in what either side announced since the last look; true when a copy was counted.
    bool absorb();
    bool takeSeatCopy();
    bool takeXWaylandCopy();
    void sideChanged();

    Sides sides_;
    qint64 counter_ = 0;
    // The count our newest write() was given.
    qint64 ownChange_ = -1;
    qint64 seatSeen_ = 0;
    qint64 xwaylandSeen_ = 0;
    Side current_ = Side::seat;
    // The newest X11 copy counted, while it may still come back over the seat.
    std::optional<ContentKey> pendingX11Copy_;
    // The newest seat copy counted, and when.
    std::optional<ContentKey> recentSeatCopy_;
    QElapsedTimer recentSeatCopyTime_;
};

} // namespace tolvi
