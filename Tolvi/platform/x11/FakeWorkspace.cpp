#include "Tolvi/platform/x11/FakeWorkspace.h"

namespace tolvi {

std::optional<RunningApplication> FakeWorkspace::frontmostApplication()
{
    ++lookupCount_;
    if (onLookup_)
        onLookup_();
    return frontmost_;
}

} // namespace tolvi
