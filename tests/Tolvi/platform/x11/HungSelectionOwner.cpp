#include "HungSelectionOwner.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tolvi::test {

HungSelectionOwner::HungSelectionOwner()
{
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_))
        return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const char* name = "CLIPBOARD";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    if (atom) {
        clipboard_ = atom->atom;
        std::free(atom);
    }
}

HungSelectionOwner::~HungSelectionOwner()
{
    if (connection_)
        xcb_disconnect(connection_);
}

bool HungSelectionOwner::claim()
{
    if (!clipboard_ || xcb_connection_has_error(connection_))
        return false;
    xcb_set_selection_owner(connection_, window_, clipboard_, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr);
    const bool owns = owner && owner->owner == window_;
    std::free(owner);
    // Requests for the contents queue up on this connection, unread and unanswered.
    return owns;
}

std::uint32_t clipboardOwner()
{
    // One connection for the test's life: asked many times while copies follow each other.
    static xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    static std::uint32_t clipboard = 0;
    if (xcb_connection_has_error(connection))
        return 0;
    if (!clipboard) {
        const char* name = "CLIPBOARD";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        if (!atom)
            return 0;
        clipboard = atom->atom;
        std::free(atom);
    }
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr);
    if (!owner)
        return 0;
    const std::uint32_t window = owner->owner;
    std::free(owner);
    return window;
}

} // namespace tolvi::test
