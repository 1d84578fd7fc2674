#pragma once

namespace tolvi {

// The two themes a window can be drawn in: "Light Glass" and "Dark Glass".
// The composition root maps the user's appearance preference onto this value.
enum class ThemeAppearance {
    light,
    dark,
};

} // namespace tolvi
