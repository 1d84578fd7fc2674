#include "Tolvi/design/DesignTokens.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace tolvi::TolviDesign {

namespace {

struct AdaptivePair {
    std::uint32_t dark;
    std::uint32_t light;
};

// Mirrors the order of the arguments used throughout the design tables: dark first, light second.
constexpr AdaptivePair adaptive(std::uint32_t dark, std::uint32_t light) { return {dark, light}; }

QColor fromRgb(std::uint32_t value, qreal opacity = 1.0)
{
    QColor c = QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    c.setAlphaF(float(opacity));
    return c;
}

AdaptivePair basePair(ColorToken token)
{
    switch (token) {
    case ColorToken::canvas: return adaptive(0x0B1320, 0xF2F6FA);
    case ColorToken::surface: return adaptive(0x152337, 0xEDF3F8);
    case ColorToken::raisedSurface: return adaptive(0x21324A, 0xFFFFFF);
    case ColorToken::ink: return adaptive(0xE6F2FF, 0x1D2A3B);
    case ColorToken::muted: return adaptive(0xA9BDD2, 0x526276);
    case ColorToken::electricBlue: return adaptive(0x73D9F2, 0x006E8A);
    case ColorToken::onAccent: return adaptive(0x0B1320, 0xFFFFFF);
    case ColorToken::amber: return adaptive(0xF2B26B, 0x955B16);
    case ColorToken::mint: return adaptive(0x82E0BC, 0x14745C);
    case ColorToken::violet: return adaptive(0xAAA4EB, 0x6551A4);
    case ColorToken::focusedRowFill: return adaptive(0x1A394A, 0xDDEFF5);
    // Derived tokens take the pair of their base.
    case ColorToken::rowFill: return basePair(ColorToken::surface);
    case ColorToken::rowStroke: return basePair(ColorToken::muted);
    case ColorToken::focusedRowStroke: return basePair(ColorToken::electricBlue);
    case ColorToken::softFill: return basePair(ColorToken::raisedSurface);
    case ColorToken::glassStroke: return adaptive(0x7B9BBC, 0xFFFFFF);
    case ColorToken::glassHighlight: return adaptive(0xFFFFFF, 0xFFFFFF);
    }
    return adaptive(0x000000, 0x000000);
}

qreal opacity(ColorToken token)
{
    switch (token) {
    case ColorToken::rowFill: return 0.55;
    case ColorToken::rowStroke: return 0.16;
    case ColorToken::focusedRowStroke: return 0.55;
    case ColorToken::softFill: return 0.5;
    case ColorToken::glassStroke: return 0.6;
    case ColorToken::glassHighlight: return 0.65;
    default: return 1.0;
    }
}

struct StyleSpec {
    qreal size;
    QFont::Weight weight;
    bool monospaced;
    bool expanded;
};

StyleSpec styleSpec(Typography style)
{
    switch (style) {
    case Typography::eyebrow: return {10, QFont::DemiBold, false, false};
    case Typography::title: return {19, QFont::DemiBold, false, false};
    case Typography::display: return {20, QFont::DemiBold, false, true};
    case Typography::rowTitle: return {13.5, QFont::Medium, false, false};
    case Typography::body: return {13, QFont::Normal, false, false};
    case Typography::bodyStrong: return {13, QFont::DemiBold, false, false};
    case Typography::meta: return {11.5, QFont::Normal, false, false};
    case Typography::chip: return {11, QFont::DemiBold, false, false};
    case Typography::number: return {11, QFont::Medium, true, false};
    }
    return {13, QFont::Normal, false, false};
}

QFont buildFont(Typography style)
{
    const StyleSpec spec = styleSpec(style);
    QFont f = spec.monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : systemFont(spec.size);
    if (spec.monospaced)
        f.setStyleHint(QFont::Monospace);
    f.setPointSizeF(fontPointsFromLayoutPoints(spec.size));
    f.setWeight(spec.weight);
    if (spec.expanded)
        f.setStretch(QFont::Expanded);
    return f;
}

} // namespace

QColor color(ColorToken token, ThemeAppearance appearance)
{
    const AdaptivePair pair = basePair(token);
    return fromRgb(appearance == ThemeAppearance::dark ? pair.dark : pair.light, opacity(token));
}

QString tokenName(ColorToken token)
{
    switch (token) {
    case ColorToken::canvas: return QStringLiteral("canvas");
    case ColorToken::surface: return QStringLiteral("surface");
    case ColorToken::raisedSurface: return QStringLiteral("raisedSurface");
    case ColorToken::ink: return QStringLiteral("ink");
    case ColorToken::muted: return QStringLiteral("muted");
    case ColorToken::electricBlue: return QStringLiteral("electricBlue");
    case ColorToken::onAccent: return QStringLiteral("onAccent");
    case ColorToken::amber: return QStringLiteral("amber");
    case ColorToken::mint: return QStringLiteral("mint");
    case ColorToken::violet: return QStringLiteral("violet");
    case ColorToken::focusedRowFill: return QStringLiteral("focusedRowFill");
    case ColorToken::rowFill: return QStringLiteral("rowFill");
    case ColorToken::rowStroke: return QStringLiteral("rowStroke");
    case ColorToken::focusedRowStroke: return QStringLiteral("focusedRowStroke");
    case ColorToken::softFill: return QStringLiteral("softFill");
    case ColorToken::glassStroke: return QStringLiteral("glassStroke");
    case ColorToken::glassHighlight: return QStringLiteral("glassHighlight");
    }
    return {};
}

qreal layoutPointSize(Typography style) { return styleSpec(style).size; }

const QFont& font(Typography style)
{
    // Built once per style on first use (the type scale is read on the GUI thread only).
    static std::array<QFont, allTypography.size()> fonts;
    static std::array<bool, allTypography.size()> built{};
    const auto index = static_cast<std::size_t>(style);
    if (!built[index]) {
        fonts[index] = buildFont(style);
        built[index] = true;
    }
    return fonts[index];
}

QFont systemFont(qreal layoutPoints, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setPointSizeF(fontPointsFromLayoutPoints(layoutPoints));
    f.setWeight(weight);
    return f;
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace tolvi::TolviDesign
