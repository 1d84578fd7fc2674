// What a test binary draws with is the test fonts and nothing else the machine has installed:
// the generic families resolve to DejaVu, unknown families fall back to DejaVu Sans, and the
// colour emoji font is there only in the binaries that ask for it.
#include "TestFonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QRawFont>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <algorithm>

namespace tolvi::test {
namespace {

constexpr TestFonts::Set expectedSet = TestFonts::Set::TOLVI_TEST_FONTS_EXPECTED_SET;

TEST(TestFontsTest, TheProgramSeesOnlyTheTestFonts)
{
    ASSERT_TRUE(qEnvironmentVariableIsSet("FONTCONFIG_FILE"));
    // Qt lists the generic families it stands in for beside the installed ones.
    const QStringList generic{QStringLiteral("Monospace"), QStringLiteral("Sans Serif"), QStringLiteral("Serif")};
    QStringList seen;
    for (const QString& family : QFontDatabase::families()) {
        if (!generic.contains(family))
            seen << family;
    }
    QStringList expected = TestFonts::families(expectedSet);
    seen.sort();
    expected.sort();
    EXPECT_EQ(seen.join(QStringLiteral(", ")).toStdString(), expected.join(QStringLiteral(", ")).toStdString());
}

TEST(TestFontsTest, GenericAndUnknownFamiliesResolveToDejaVu)
{
    struct Case {
        QString requested;
        QString resolved;
        bool fixedPitch;
    };
    for (const Case& c : {Case{QStringLiteral("monospace"), QStringLiteral("DejaVu Sans Mono"), true},
                          Case{QStringLiteral("sans-serif"), QStringLiteral("DejaVu Sans"), false},
                          Case{QStringLiteral("Sans Serif"), QStringLiteral("DejaVu Sans"), false},
                          Case{QStringLiteral("serif"), QStringLiteral("DejaVu Serif"), false},
                          Case{QStringLiteral("Noto Sans Mono"), QStringLiteral("DejaVu Sans"), false},
                          Case{QStringLiteral("No Such Family"), QStringLiteral("DejaVu Sans"), false}}) {
        SCOPED_TRACE(c.requested.toStdString());
        const QFontInfo info{QFont(c.requested)};
        EXPECT_EQ(info.family(), c.resolved);
        EXPECT_EQ(info.fixedPitch(), c.fixedPitch);
    }
    EXPECT_EQ(QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(QFontInfo(QGuiApplication::font()).family(), QStringLiteral("DejaVu Sans"));
}

TEST(TestFontsTest, AnEmojiIsDrawnWithTheColourEmojiFontOnlyWhereAsked)
{
    QTextLayout layout(QString::fromUcs4(U"a\U0001F469", 2), QFont(QStringLiteral("sans-serif")));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList faces;
    for (const QGlyphRun& run : layout.glyphRuns())
        faces << run.rawFont().familyName();
    const bool drawnInColour = faces.contains(QStringLiteral("Noto Color Emoji"));
    EXPECT_EQ(drawnInColour, expectedSet == TestFonts::Set::withColourEmoji) << faces.join(", ").toStdString();
}

} // namespace
} // namespace tolvi::test
