#pragma once

#include "Tolvi/design/ThemeAppearance.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <array>
#include <cstdint>

namespace tolvi::TolviDesign {

// The named colours every window draws with. A token is resolved against the
// appearance of the window it is painted in, at paint time, so a theme switch
// recolours everything without any piece asking which theme is active.
enum class ColorToken {
    // Base tokens: one light and one dark sRGB value each.
    canvas,
    surface,
    raisedSurface,
    ink,
    muted,
    electricBlue,
    onAccent,
    amber,
    mint,
    violet,
    focusedRowFill,
    // Derived tokens: a base colour at a fixed opacity.
    rowFill,
    rowStroke,
    focusedRowStroke,
    softFill,
    glassStroke,
    glassHighlight,
};

inline constexpr std::array<ColorToken, 17> allColorTokens{
    ColorToken::canvas,        ColorToken::surface,        ColorToken::raisedSurface,
    ColorToken::ink,           ColorToken::muted,          ColorToken::electricBlue,
    ColorToken::onAccent,      ColorToken::amber,          ColorToken::mint,
    ColorToken::violet,        ColorToken::focusedRowFill, ColorToken::rowFill,
    ColorToken::rowStroke,     ColorToken::focusedRowStroke, ColorToken::softFill,
    ColorToken::glassStroke,   ColorToken::glassHighlight,
};

// The token's colour under the given appearance (alpha included for derived tokens).
QColor color(ColorToken token, ThemeAppearance appearance);

// The token's name as written in code ("canvas", "glassHighlight", ...).
QString tokenName(ColorToken token);

// The nine text styles of the type scale.
enum class Typography {
    eyebrow,
    title,
    display,
    rowTitle,
    body,
    bodyStrong,
    meta,
    chip,
    number,
};

inline constexpr std::array<Typography, 9> allTypography{
    Typography::eyebrow, Typography::title, Typography::display, Typography::rowTitle, Typography::body,
    Typography::bodyStrong, Typography::meta, Typography::chip, Typography::number,
};

// The style's size in layout points (one layout point is one device-independent pixel).
qreal layoutPointSize(Typography style);

// The style as a font of the system face. Layout points are converted to font
// points at 72/96, so a 13-point style is 13 device-independent pixels tall at
// the usual 96 dpi. Fonts are built once and shared.
const QFont& font(Typography style);

// A font of the system face at a layout-point size and weight; for symbol-sized text.
QFont systemFont(qreal layoutPoints, QFont::Weight weight = QFont::Normal);

// Layout points to font points.
constexpr qreal fontPointsFromLayoutPoints(qreal layoutPoints) { return layoutPoints * 72.0 / 96.0; }

// The colour with its own opacity multiplied by `opacity` (0 clear, 1 unchanged).
QColor withOpacity(QColor color, qreal opacity);

} // namespace tolvi::TolviDesign
