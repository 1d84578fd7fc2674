#include "Tolvi/platform/wayland/VirtualKeyboard.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QElapsedTimer>

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <mutex>

namespace tolvi {

namespace {

// sway applies a new keymap to the seat a moment after it is given; keys sent before that are
// read with the previous one.
constexpr qint64 keymapSettleMs = 300;

constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;
constexpr std::uint32_t keymapFormatXkbV1 = 1;

std::uint32_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint32_t(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

struct VirtualKeyboard::State {
    WaylandConnection* connection = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* seatKeyboard = nullptr;
    std::mutex mutex;
    QByteArray keymap;  // the one given to the compositor
    std::optional<ControlVKeys> keys;
    QElapsedTimer sinceKeymap;

    // Gives the compositor the keymap, when it differs from the one it has. Under the mutex.
    void useKeymap(const QByteArray& text)
    {
        const QByteArray withNul = text.endsWith('\0') ? text : text + '\0';
        if (withNul == keymap)
            return;
        const std::optional<ControlVKeys> found = ControlVKeys::fromKeymap(withNul);
        if (!found)
            return;
        const int fd = memfd_create("tolvi-keymap", MFD_CLOEXEC);
        if (fd < 0)
            return;
        if (::write(fd, withNul.constData(), size_t(withNul.size())) != withNul.size()) {
            ::close(fd);
            return;
        }
        zwp_virtual_keyboard_v1_keymap(keyboard, keymapFormatXkbV1, fd, std::uint32_t(withNul.size()));
        ::close(fd);
        connection->flush();
        keymap = withNul;
        keys = found;
        sinceKeymap.start();
    }
};

namespace {

void keyboardKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
{
    auto* state = static_cast<VirtualKeyboard::State*>(data);
    QByteArray text;
    if (format == keymapFormatXkbV1 && size > 0 && size < 16 * 1024 * 1024) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            text = QByteArray(static_cast<const char*>(mapped), qsizetype(size));
            munmap(mapped, size);
        }
    }
    ::close(fd);
    if (text.isEmpty())
        return;
    std::lock_guard lock(state->mutex);
    state->useKeymap(text);
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
    auto* state = static_cast<VirtualKeyboard::State*>(data);
    std::lock_guard lock(state->mutex);
    // The seat's keyboard tells its keymap; asked for only once the seat has one.
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !state->seatKeyboard) {
        state->seatKeyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(state->seatKeyboard, &keyboardListener, state);
    }
}

void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {seatCapabilities, seatName};

} // namespace

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::create(WaylandConnection& connection)
{
    auto* manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    if (!manager)
        return nullptr;
    // Version 4 of the seat: its keyboard sends the repeat information too.
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 4));
    if (!seat) {
        zwp_virtual_keyboard_manager_v1_destroy(manager);
        return nullptr;
    }
    std::unique_ptr<VirtualKeyboard> keyboard(new VirtualKeyboard(connection));
    State& state = *keyboard->state_;
    state.connection = &connection;
    state.manager = manager;
    state.seat = seat;
    state.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
    wl_seat_add_listener(seat, &seatListener, &state);
    {
        std::lock_guard lock(state.mutex);
        state.useKeymap(ControlVKeys::defaultKeymap());
    }
    connection.flush();
    return keyboard;
}

VirtualKeyboard::VirtualKeyboard(WaylandConnection& connection)
    : connection_(connection), state_(std::make_unique<State>())
{
}

VirtualKeyboard::~VirtualKeyboard()
{
    std::lock_guard lock(state_->mutex);
    if (state_->seatKeyboard)
        wl_keyboard_destroy(state_->seatKeyboard);
    if (state_->keyboard)
        zwp_virtual_keyboard_v1_destroy(state_->keyboard);
    if (state_->manager)
        zwp_virtual_keyboard_manager_v1_destroy(state_->manager);
    if (state_->seat)
        wl_seat_destroy(state_->seat);
    connection_.flush();
}

bool VirtualKeyboard::isReady()
{
    std::lock_guard lock(state_->mutex);
    return state_->keys && state_->sinceKeymap.isValid() && state_->sinceKeymap.elapsed() >= keymapSettleMs &&
           !connection_.isBroken();
}

bool VirtualKeyboard::typeControlV()
{
    std::lock_guard lock(state_->mutex);
    if (!state_->keys || connection_.isBroken())
        return false;
    const ControlVKeys keys = *state_->keys;
    zwp_virtual_keyboard_v1* keyboard = state_->keyboard;
    const std::uint32_t time = nowMs();
    zwp_virtual_keyboard_v1_key(keyboard, time, keys.control, keyPressed);
    zwp_virtual_keyboard_v1_modifiers(keyboard, keys.controlMask, 0, 0, 0);
    zwp_virtual_keyboard_v1_key(keyboard, time, keys.v, keyPressed);
    zwp_virtual_keyboard_v1_key(keyboard, time, keys.v, keyReleased);
    zwp_virtual_keyboard_v1_key(keyboard, time, keys.control, keyReleased);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
    return connection_.flush();
}

} // namespace tolvi
