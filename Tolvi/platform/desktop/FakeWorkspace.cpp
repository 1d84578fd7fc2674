#include "Tolvi/platform/desktop/FakeWorkspace.h"

namespace tolvi {

std::optional<RunningApplication> FakeWorkspace::frontmostApplication()
{
    ++lookupCount_;
    if (onLookup_)
        onLookup_();
    return frontmost_;
}

} // namespace tolvi
