#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace tolvi::test {

// A clipboard owner that never answers: it takes CLIPBOARD over a connection of its own and
// ignores every request for its contents, as a frozen program does.
class HungSelectionOwner {
public:
    HungSelectionOwner();
    ~HungSelectionOwner();
    HungSelectionOwner(const HungSelectionOwner&) = delete;
    HungSelectionOwner& operator=(const HungSelectionOwner&) = delete;

    // Takes (or takes again) CLIPBOARD; true once the server names it the owner.
    bool claim();

private:
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::uint32_t clipboard_ = 0;
};

// The window that owns CLIPBOARD now; 0 when none does (or no X server answers).
std::uint32_t clipboardOwner();

} // namespace tolvi::test
