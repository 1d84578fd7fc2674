#pragma once

#include "Tolvi/design/ThemeAppearance.h"

#include <QImage>

namespace tolvi {

// Renders sheets that show every design piece, for people to look at.
class DesignGallery {
public:
    // Tokens, type scale, plates, surfaces, backdrops, badges, pills, tiles and buttons.
    static QImage renderPieces(ThemeAppearance appearance);
    // Every symbol of the catalogue with its name.
    static QImage renderSymbols(ThemeAppearance appearance);
};

} // namespace tolvi
