#include "Tolvi/platform/wayland/VirtualKeyboard.h"

#include "Tolvi/platform/wayland/SeatKeymap.h"
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
    std::unique_ptr<SeatKeymap> seat;
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

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::create(WaylandConnection& connection)
{
    auto* manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    if (!manager)
        return nullptr;
    std::unique_ptr<VirtualKeyboard> keyboard(new VirtualKeyboard(connection));
    State& state = *keyboard->state_;
    state.connection = &connection;
    state.manager = manager;
    // The user's keymap, whenever the seat tells it.
    state.seat = SeatKeymap::create(connection, [&state](const QByteArray& text) {
        std::lock_guard lock(state.mutex);
        state.useKeymap(text);
    });
    if (!state.seat) {
        zwp_virtual_keyboard_manager_v1_destroy(manager);
        return nullptr;
    }
    state.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, state.seat->seat());
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
    {
        std::lock_guard lock(state_->mutex);
        if (state_->keyboard)
            zwp_virtual_keyboard_v1_destroy(state_->keyboard);
        if (state_->manager)
            zwp_virtual_keyboard_manager_v1_destroy(state_->manager);
    }
    state_->seat.reset();
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
