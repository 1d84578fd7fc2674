#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

struct wl_seat;

namespace tolvi {

class WaylandConnection;

// The first seat and the keymap of its keyboard (the user's layout), as the compositor tells it
// once the seat has a keyboard and again on every change. Made before the connection starts
// dispatching; the handler runs in the connection's dispatch thread.
class SeatKeymap {
public:
    // Null when the compositor offers no seat.
    static std::unique_ptr<SeatKeymap> create(WaylandConnection& connection,
                                              std::function<void(const QByteArray& keymapText)> handler);
    ~SeatKeymap();

    wl_seat* seat() const;

    struct State;

private:
    SeatKeymap() = default;
    std::unique_ptr<State> state_;
};

} // namespace tolvi
