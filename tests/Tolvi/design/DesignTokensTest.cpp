#include "Tolvi/design/DesignTokens.h"

#include <QFontInfo>
#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <map>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

struct Expected {
    QRgb light;
    QRgb dark;
    qreal opacity;
};

// The design's token tables, written out independently of the implementation.
const std::map<ColorToken, Expected>& tokenTable()
{
    static const std::map<ColorToken, Expected> table{
        {ColorToken::canvas, {0xF2F6FA, 0x0B1320, 1}},
        {ColorToken::surface, {0xEDF3F8, 0x152337, 1}},
        {ColorToken::raisedSurface, {0xFFFFFF, 0x21324A, 1}},
        {ColorToken::ink, {0x1D2A3B, 0xE6F2FF, 1}},
        {ColorToken::muted, {0x526276, 0xA9BDD2, 1}},
        {ColorToken::electricBlue, {0x006E8A, 0x73D9F2, 1}},
        {ColorToken::onAccent, {0xFFFFFF, 0x0B1320, 1}},
        {ColorToken::amber, {0x955B16, 0xF2B26B, 1}},
        {ColorToken::mint, {0x14745C, 0x82E0BC, 1}},
        {ColorToken::violet, {0x6551A4, 0xAAA4EB, 1}},
        {ColorToken::focusedRowFill, {0xDDEFF5, 0x1A394A, 1}},
        {ColorToken::rowFill, {0xEDF3F8, 0x152337, 0.55}},
        {ColorToken::rowStroke, {0x526276, 0xA9BDD2, 0.16}},
        {ColorToken::focusedRowStroke, {0x006E8A, 0x73D9F2, 0.55}},
        {ColorToken::softFill, {0xFFFFFF, 0x21324A, 0.5}},
        {ColorToken::glassStroke, {0xFFFFFF, 0x7B9BBC, 0.6}},
        {ColorToken::glassHighlight, {0xFFFFFF, 0xFFFFFF, 0.65}},
    };
    return table;
}

TEST(DesignTokens, EveryTokenResolvesToItsLightAndDarkValueWithItsOpacity)
{
    ASSERT_EQ(tokenTable().size(), TolviDesign::allColorTokens.size());
    for (ColorToken token : TolviDesign::allColorTokens) {
        SCOPED_TRACE(TolviDesign::tokenName(token).toStdString());
        const Expected& expected = tokenTable().at(token);
        const QColor light = TolviDesign::color(token, ThemeAppearance::light);
        const QColor dark = TolviDesign::color(token, ThemeAppearance::dark);
        EXPECT_EQ(light.rgb() & 0xFFFFFF, expected.light);
        EXPECT_EQ(dark.rgb() & 0xFFFFFF, expected.dark);
        EXPECT_NEAR(light.alphaF(), expected.opacity, 0.002);
        EXPECT_NEAR(dark.alphaF(), expected.opacity, 0.002);
    }
}

TEST(DesignTokens, CanvasIsExactSrgbComponentsAndDerivedTokensKeepAdapting)
{
    const QColor canvas = TolviDesign::color(ColorToken::canvas, ThemeAppearance::light);
    EXPECT_EQ(canvas.spec(), QColor::Rgb);
    EXPECT_EQ(canvas.red(), 242);
    EXPECT_EQ(canvas.green(), 246);
    EXPECT_EQ(canvas.blue(), 250);
    EXPECT_EQ(canvas.alpha(), 255);

    // A derived token follows its base in each appearance.
    EXPECT_EQ(TolviDesign::color(ColorToken::rowFill, ThemeAppearance::dark).rgb() & 0xFFFFFF,
              TolviDesign::color(ColorToken::surface, ThemeAppearance::dark).rgb() & 0xFFFFFF);
    EXPECT_NE(TolviDesign::color(ColorToken::rowFill, ThemeAppearance::dark).rgb(),
              TolviDesign::color(ColorToken::rowFill, ThemeAppearance::light).rgb());
    // onAccent in the dark appearance is the dark canvas.
    EXPECT_EQ(TolviDesign::color(ColorToken::onAccent, ThemeAppearance::dark),
              TolviDesign::color(ColorToken::canvas, ThemeAppearance::dark));
}

TEST(DesignTypography, NineStylesWithTheirSizesWeightsAndFaces)
{
    struct Row {
        Typography style;
        qreal size;
        QFont::Weight weight;
    };
    const Row rows[] = {
        {Typography::eyebrow, 10, QFont::DemiBold}, {Typography::title, 19, QFont::DemiBold},
        {Typography::display, 20, QFont::DemiBold}, {Typography::rowTitle, 13.5, QFont::Medium},
        {Typography::body, 13, QFont::Normal},      {Typography::bodyStrong, 13, QFont::DemiBold},
        {Typography::meta, 11.5, QFont::Normal},    {Typography::chip, 11, QFont::DemiBold},
        {Typography::number, 11, QFont::Medium},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.style));
        const QFont& f = TolviDesign::font(row.style);
        EXPECT_DOUBLE_EQ(TolviDesign::layoutPointSize(row.style), row.size);
        EXPECT_DOUBLE_EQ(f.pointSizeF(), row.size * 72.0 / 96.0);
        EXPECT_EQ(f.weight(), row.weight);
        EXPECT_EQ(f.stretch() == QFont::Expanded, row.style == Typography::display);
    }
    // The same font object is handed out every time.
    EXPECT_EQ(&TolviDesign::font(Typography::body), &TolviDesign::font(Typography::body));
}

TEST(DesignTypography, SizesAreLayoutPixelsAtNinetySixDpiAndNumbersAreMonospaced)
{
    // 13 layout points are 13 pixels on a 96 dpi screen (offscreen and Xvfb report 96).
    const QFontInfo body(TolviDesign::font(TolviDesign::Typography::body));
    EXPECT_EQ(body.pixelSize(), 13);
    const QFontInfo title(TolviDesign::font(TolviDesign::Typography::title));
    EXPECT_EQ(title.pixelSize(), 19);

    const QFontMetricsF number(TolviDesign::font(TolviDesign::Typography::number));
    EXPECT_DOUBLE_EQ(number.horizontalAdvance(QStringLiteral("1111")), number.horizontalAdvance(QStringLiteral("WWWW")));
    const QFontMetricsF body13(TolviDesign::font(TolviDesign::Typography::body));
    EXPECT_NE(body13.horizontalAdvance(QStringLiteral("1111")), body13.horizontalAdvance(QStringLiteral("WWWW")));
}

} // namespace
} // namespace tolvi
