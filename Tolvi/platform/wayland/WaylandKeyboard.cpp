#include "Tolvi/platform/wayland/WaylandKeyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace tolvi {

WaylandKeyboard::~WaylandKeyboard() = default;

namespace {

using Context = std::unique_ptr<xkb_context, decltype(&xkb_context_unref)>;
using Keymap = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;

std::optional<std::uint32_t> keycodeFor(xkb_keymap* keymap, xkb_keysym_t wanted)
{
    // The first key that gives the symbol in the first group without any modifier.
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
        const xkb_keysym_t* symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &symbols);
        for (int i = 0; i < count; ++i) {
            if (symbols[i] == wanted && code >= 8)
                return code - 8;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<ControlVKeys> ControlVKeys::fromKeymap(const QByteArray& keymapText)
{
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
    if (!context || keymapText.isEmpty())
        return std::nullopt;
    const QByteArray text = keymapText.endsWith('\0') ? keymapText : keymapText + '\0';
    Keymap keymap(xkb_keymap_new_from_string(context.get(), text.constData(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                             XKB_KEYMAP_COMPILE_NO_FLAGS),
                  &xkb_keymap_unref);
    if (!keymap)
        return std::nullopt;
    std::optional<std::uint32_t> control = keycodeFor(keymap.get(), XKB_KEY_Control_L);
    if (!control)
        control = keycodeFor(keymap.get(), XKB_KEY_Control_R);
    const std::optional<std::uint32_t> v = keycodeFor(keymap.get(), XKB_KEY_v);
    const xkb_mod_index_t controlIndex = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_CTRL);
    if (!control || !v || controlIndex == XKB_MOD_INVALID || controlIndex >= 32)
        return std::nullopt;
    return ControlVKeys{*control, *v, std::uint32_t(1) << controlIndex};
}

QByteArray ControlVKeys::defaultKeymap()
{
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
    if (!context)
        return {};
    Keymap keymap(xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
    if (!keymap)
        return {};
    char* text = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text)
        return {};
    QByteArray result(text);
    std::free(text);
    return result;
}

} // namespace tolvi
