#include "Tolvi/platform/wayland/SeatKeymap.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <mutex>

namespace tolvi {

namespace {
constexpr std::uint32_t keymapFormatXkbV1 = 1;
constexpr std::uint32_t largestKeymap = 16 * 1024 * 1024;
} // namespace

struct SeatKeymap::State {
    WaylandConnection* connection = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    std::mutex mutex;
    std::function<void(const QByteArray&)> handler;
};

namespace {

void keyboardKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
{
    auto* state = static_cast<SeatKeymap::State*>(data);
    QByteArray text;
    if (format == keymapFormatXkbV1 && size > 0 && size < largestKeymap) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            text = QByteArray(static_cast<const char*>(mapped), qsizetype(size));
            munmap(mapped, size);
        }
    }
    ::close(fd);
    if (!text.isEmpty() && state->handler)
        state->handler(text);
}

void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void keyboardKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void keyboardModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void keyboardRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener keyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                               keyboardKey,    keyboardModifiers, keyboardRepeat};

void seatCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities)
{
    auto* state = static_cast<SeatKeymap::State*>(data);
    std::lock_guard lock(state->mutex);
    // Asked for only once the seat has a keyboard: asking earlier is a protocol error.
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !state->keyboard) {
        state->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(state->keyboard, &keyboardListener, state);
    }
}

void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {seatCapabilities, seatName};

} // namespace

std::unique_ptr<SeatKeymap> SeatKeymap::create(WaylandConnection& connection,
                                               std::function<void(const QByteArray&)> handler)
{
    // Version 4: the keyboard sends its repeat information too, which the listener takes.
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 4));
    if (!seat)
        return nullptr;
    std::unique_ptr<SeatKeymap> keymap(new SeatKeymap);
    keymap->state_ = std::make_unique<State>();
    keymap->state_->connection = &connection;
    keymap->state_->seat = seat;
    keymap->state_->handler = std::move(handler);
    wl_seat_add_listener(seat, &seatListener, keymap->state_.get());
    return keymap;
}

SeatKeymap::~SeatKeymap()
{
    // The connection's dispatching has stopped: no listener runs any more.
    std::lock_guard lock(state_->mutex);
    if (state_->keyboard)
        wl_keyboard_destroy(state_->keyboard);
    wl_seat_destroy(state_->seat);
    state_->connection->flush();
}

wl_seat* SeatKeymap::seat() const
{
    return state_->seat;
}

} // namespace tolvi
