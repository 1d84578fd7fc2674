#include "Tolvi/platform/wayland/FakeInputKeyboard.h"

#include "Tolvi/platform/wayland/SeatKeymap.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <mutex>

namespace tolvi {

namespace {
constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;
constexpr std::uint32_t keysVersion = 4;
} // namespace

struct FakeInputKeyboard::State {
    org_kde_kwin_fake_input* fakeInput = nullptr;
    std::unique_ptr<SeatKeymap> seat;
    std::mutex mutex;
    std::optional<ControlVKeys> keys;
};

std::unique_ptr<FakeInputKeyboard> FakeInputKeyboard::create(WaylandConnection& connection)
{
    const std::optional<WaylandGlobal> global = connection.global("org_kde_kwin_fake_input");
    if (!global || global->version < keysVersion)
        return nullptr;
    auto* fakeInput =
        static_cast<org_kde_kwin_fake_input*>(connection.bind(&org_kde_kwin_fake_input_interface, keysVersion));
    if (!fakeInput)
        return nullptr;
    std::unique_ptr<FakeInputKeyboard> keyboard(new FakeInputKeyboard(connection));
    State& state = *keyboard->state_;
    state.fakeInput = fakeInput;
    state.keys = ControlVKeys::fromKeymap(ControlVKeys::defaultKeymap());
    state.seat = SeatKeymap::create(connection, [&state](const QByteArray& text) {
        if (const std::optional<ControlVKeys> keys = ControlVKeys::fromKeymap(text)) {
            std::lock_guard lock(state.mutex);
            state.keys = keys;
        }
    });
    org_kde_kwin_fake_input_authenticate(fakeInput, "Tolvi", "Paste clips into the app in front");
    connection.flush();
    return keyboard;
}

FakeInputKeyboard::FakeInputKeyboard(WaylandConnection& connection)
    : connection_(connection), state_(std::make_unique<State>())
{
}

FakeInputKeyboard::~FakeInputKeyboard()
{
    state_->seat.reset();
    // The interface has no destructor request: the proxy alone goes.
    org_kde_kwin_fake_input_destroy(state_->fakeInput);
    connection_.flush();
}

bool FakeInputKeyboard::isReady()
{
    std::lock_guard lock(state_->mutex);
    return state_->keys.has_value() && !connection_.isBroken();
}

bool FakeInputKeyboard::typeControlV()
{
    std::lock_guard lock(state_->mutex);
    if (!state_->keys || connection_.isBroken())
        return false;
    const ControlVKeys keys = *state_->keys;
    org_kde_kwin_fake_input* input = state_->fakeInput;
    org_kde_kwin_fake_input_keyboard_key(input, keys.control, keyPressed);
    org_kde_kwin_fake_input_keyboard_key(input, keys.v, keyPressed);
    org_kde_kwin_fake_input_keyboard_key(input, keys.v, keyReleased);
    org_kde_kwin_fake_input_keyboard_key(input, keys.control, keyReleased);
    return connection_.flush();
}

} // namespace tolvi
