#pragma once

#include "Tolvi/design/ThemeAppearance.h"

#include <QDir>
#include <QString>

#include <array>
#include <optional>

namespace tolvi::gallery {

// A theme every screenshot program photographs, under the name its files carry.
struct GalleryTheme {
    const char* name;
    ThemeAppearance appearance;
};

inline constexpr std::array<GalleryTheme, 2> galleryThemes{{
    {"light", ThemeAppearance::light},
    {"dark", ThemeAppearance::dark},
}};

// The output folder of "<program> <output folder>", made when missing; nothing (with the
// reason on the error stream) when the command line is wrong or the folder cannot be made.
std::optional<QDir> outputFolder(int argc, char** argv, const QString& program);

} // namespace tolvi::gallery
