#include "DesignTestSupport.h"

#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/TolviTheme.h"

#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;

TEST(AccessibilitySettingsTest, StartOffAndSignalOnlyRealChanges)
{
    AccessibilitySettings settings;
    EXPECT_FALSE(settings.reduceTransparency());
    EXPECT_FALSE(settings.increasedContrast());
    EXPECT_FALSE(settings.reduceMotion());

    QSignalSpy changed(&settings, &AccessibilitySettings::changed);
    QSignalSpy motion(&settings, &AccessibilitySettings::reduceMotionChanged);
    settings.setReduceMotion(true);
    settings.setReduceMotion(true);
    settings.setIncreasedContrast(true);
    settings.setReduceTransparency(false);
    EXPECT_EQ(changed.count(), 2);
    ASSERT_EQ(motion.count(), 1);
    EXPECT_TRUE(motion.at(0).at(0).toBool());
}

TEST(TolviThemeTest, ContextCarriesAppearanceSettingsAndTranslucency)
{
    AccessibilitySettings settings;
    TolviTheme theme(&settings);
    theme.setTranslucencyOverride(true);
    QSignalSpy changed(&theme, &TolviTheme::changed);
    QSignalSpy appearance(&theme, &TolviTheme::appearanceChanged);

    theme.setAppearance(ThemeAppearance::dark);
    theme.setAppearance(ThemeAppearance::dark);
    settings.setReduceMotion(true);
    theme.setTranslucencyOverride(false);
    EXPECT_EQ(appearance.count(), 1);
    EXPECT_EQ(changed.count(), 3);

    const DesignContext c = theme.context();
    EXPECT_EQ(c.appearance, ThemeAppearance::dark);
    EXPECT_TRUE(c.reduceMotion);
    EXPECT_FALSE(c.translucencyAvailable);
    EXPECT_EQ(c.animationDuration(250), 0);
    EXPECT_EQ(c.color(ColorToken::ink), TolviDesign::color(ColorToken::ink, ThemeAppearance::dark));
    settings.setReduceMotion(false);
    EXPECT_EQ(theme.context().animationDuration(250), 250);
}

TEST(TolviThemeTest, PaletteIsDrawnFromTheTokens)
{
    for (ThemeAppearance a : {ThemeAppearance::light, ThemeAppearance::dark}) {
        const QPalette p = TolviTheme::palette(a);
        auto tok = [a](ColorToken t) { return TolviDesign::color(t, a); };
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Window), tok(ColorToken::canvas));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::WindowText), tok(ColorToken::ink));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Text), tok(ColorToken::ink));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Base), tok(ColorToken::raisedSurface));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Highlight), tok(ColorToken::electricBlue));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::HighlightedText), tok(ColorToken::onAccent));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Link), tok(ColorToken::electricBlue));
        EXPECT_EQ(p.color(QPalette::Active, QPalette::PlaceholderText), tok(ColorToken::muted));
        EXPECT_EQ(p.color(QPalette::Disabled, QPalette::WindowText), tok(ColorToken::muted));
    }
}

TEST(TolviThemeTest, AttachedWindowFollowsAppearanceAndNearestAttachmentWins)
{
    TolviTheme light;
    light.setTranslucencyOverride(true);
    TolviTheme dark;
    dark.setAppearance(ThemeAppearance::dark);

    QWidget window;
    auto* label = new QLabel(QStringLiteral("x"), &window);
    auto* inner = new QWidget(&window);
    auto* innerChild = new QWidget(inner);
    EXPECT_EQ(tolviConsoleAppearance(&window, &light)->theme(), &light);
    TolviWindowAppearance::attach(inner, &dark);

    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(DesignContext::of(label).appearance, ThemeAppearance::light);
    EXPECT_EQ(DesignContext::of(innerChild).appearance, ThemeAppearance::dark);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), TolviDesign::color(ColorToken::ink, ThemeAppearance::light));

    light.setAppearance(ThemeAppearance::dark);
    EXPECT_EQ(DesignContext::of(label).appearance, ThemeAppearance::dark);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), TolviDesign::color(ColorToken::ink, ThemeAppearance::dark));
    EXPECT_EQ(window.palette().color(QPalette::Window), TolviDesign::color(ColorToken::canvas, ThemeAppearance::dark));

    // Attaching again replaces the theme rather than stacking attachments.
    TolviTheme other;
    EXPECT_EQ(TolviWindowAppearance::attach(&window, &other), TolviWindowAppearance::find(&window));
    EXPECT_EQ(DesignContext::of(label).appearance, ThemeAppearance::light);
    light.setAppearance(ThemeAppearance::light);
    dark.setAppearance(ThemeAppearance::light);
    other.setAppearance(ThemeAppearance::dark);
    EXPECT_EQ(window.palette().color(QPalette::Window), TolviDesign::color(ColorToken::canvas, ThemeAppearance::dark));
}

TEST(TolviThemeTest, WindowStaysOpaqueWithoutACompositor)
{
    TolviTheme theme;
    theme.setTranslucencyOverride(false);
    QWidget window;
    TolviWindowAppearance::attach(&window, &theme);
    EXPECT_FALSE(window.testAttribute(Qt::WA_TranslucentBackground));
}

TEST(TolviThemeTest, ThemeSwitchRecoloursPaintedPiecesInAnOpenWindow)
{
    TolviTheme theme;
    theme.setTranslucencyOverride(true);
    QWidget window;
    window.resize(120, 60);
    TolviWindowAppearance::attach(&window, &theme);
    auto* pill = new TolviStatusPill(QStringLiteral("On"), std::nullopt, &window);
    pill->resize(pill->sizeHint());
    window.show();

    const QPoint probe(pill->width() - 4, pill->height() / 2);
    EXPECT_TRUE(testing::colorNear(testing::render(*pill).pixelColor(probe),
                                   TolviDesign::color(ColorToken::raisedSurface, ThemeAppearance::light)));
    theme.setAppearance(ThemeAppearance::dark);
    EXPECT_TRUE(testing::colorNear(testing::render(*pill).pixelColor(probe),
                                   TolviDesign::color(ColorToken::raisedSurface, ThemeAppearance::dark)));
    window.hide();
}

} // namespace
} // namespace tolvi
