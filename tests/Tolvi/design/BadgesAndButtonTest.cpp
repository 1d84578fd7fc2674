#include "DesignTestSupport.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using testing::blend;
using testing::colorNear;
using testing::opaque;
using testing::render;

class BadgesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme.setTranslucencyOverride(true);
        TolviWindowAppearance::attach(&host, &theme);
    }
    TolviTheme theme;
    QWidget host;
};

TEST_F(BadgesTest, BadgeSizeIsTextPlusPaddingsAndSymbolAddsFourPointGap)
{
    TolviBadge plain(QStringLiteral("Pinned"), std::nullopt, ColorToken::amber, &host);
    TolviBadge withSymbol(QStringLiteral("Pinned"), QStringLiteral("pin.fill"), ColorToken::amber, &host);
    const QFontMetrics chip(TolviDesign::font(Typography::chip));
    const int text = chip.horizontalAdvance(QStringLiteral("Pinned"));
    EXPECT_EQ(plain.sizeHint(), QSize(text + 16, chip.height() + 8));
    EXPECT_EQ(withSymbol.sizeHint().width(), text + 16 + SymbolCatalog::pixelSizeForPointSize(10) + 4);
}

TEST_F(BadgesTest, AmberBadgeHasAmberLabelOnTenPercentAmberUnderBothThemes)
{
    for (ThemeAppearance appearance : {ThemeAppearance::light, ThemeAppearance::dark}) {
        theme.setAppearance(appearance);
        TolviBadge badge(QStringLiteral("WWW"), std::nullopt, ColorToken::amber, &host);
        badge.resize(badge.sizeHint());
        const QImage image = render(badge);
        const QColor amber = theme.color(ColorToken::amber);
        // The background at a padding pixel: amber at 10 %.
        const QColor background = image.pixelColor(3, badge.height() / 2);
        EXPECT_NEAR(background.alpha(), 26, 2);
        // Colour at such a low alpha carries rounding from premultiplication.
        EXPECT_TRUE(colorNear(background, amber, 12, false));
        // Somewhere in the text the label is drawn in solid amber.
        bool foundLabel = false;
        for (int x = 8; x < badge.width() - 8 && !foundLabel; ++x)
            for (int y = 4; y < badge.height() - 4 && !foundLabel; ++y)
                foundLabel = colorNear(image.pixelColor(x, y), opaque(amber), 10);
        EXPECT_TRUE(foundLabel);
    }
}

TEST_F(BadgesTest, StatusPillIsACapsuleReadAsItsTitleInMutedOnRaisedSurface)
{
    TolviStatusPill pill(QStringLiteral("Capture on"), QStringLiteral("record.circle"), &host);
    pill.resize(pill.sizeHint());
    const QFontMetrics meta(TolviDesign::font(Typography::meta));
    EXPECT_EQ(pill.sizeHint().height(), std::max(meta.height(), SymbolCatalog::pixelSizeForPointSize(9)) + 10);

    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&pill);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->text(QAccessible::Name), QStringLiteral("Capture on"));
    EXPECT_EQ(element->childCount(), 0);

    const QImage image = render(pill);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0); // capsule ends are round
    EXPECT_TRUE(colorNear(image.pixelColor(pill.width() - 5, pill.height() / 2), opaque(theme.color(ColorToken::raisedSurface))));

    pill.setTitle(QStringLiteral("Capture paused"));
    EXPECT_EQ(element->text(QAccessible::Name), QStringLiteral("Capture paused"));
}

TEST_F(BadgesTest, IconTileIsThirtyFourSquareWhateverTheSymbol)
{
    TolviIconTile tile(QStringLiteral("doc.on.clipboard"), ColorToken::mint, &host);
    EXPECT_EQ(tile.size(), QSize(34, 34));
    EXPECT_EQ(tile.minimumSize(), QSize(34, 34));
    EXPECT_EQ(tile.maximumSize(), QSize(34, 34));
    const QImage image = render(tile);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    const QColor tint = theme.color(ColorToken::mint);
    EXPECT_NEAR(image.pixelColor(3, 17).alpha(), 26, 2);
    EXPECT_TRUE(colorNear(image.pixelColor(3, 17), tint, 12, false));
}

class PrimaryButtonTest : public BadgesTest {
protected:
    void SetUp() override
    {
        BadgesTest::SetUp();
        auto* layout = new QVBoxLayout(&host);
        button = new TolviPrimaryButton(QStringLiteral("Paste"));
        other = new TolviPrimaryButton(QStringLiteral("Other"));
        layout->addWidget(button);
        layout->addWidget(other);
        host.setWindowFlag(Qt::FramelessWindowHint);
        host.show();
        host.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        other->setFocus();
    }

    // A pixel inside the body's left padding, clear of the label.
    QColor bodyPixel() { return render(*button).pixelColor(button->bodyRect().left() + 4, button->bodyRect().center().y()); }
    QColor pixelAt(int x, int y) { return render(*button).pixelColor(x, y); }

    TolviPrimaryButton* button = nullptr;
    TolviPrimaryButton* other = nullptr;
};

TEST_F(PrimaryButtonTest, GeometryIsLabelPlusPaddingsWithRoomForTheRing)
{
    const QFontMetrics strong(TolviDesign::font(Typography::bodyStrong));
    const QSize body(strong.horizontalAdvance(QStringLiteral("Paste")) + 24, strong.height() + 14);
    EXPECT_EQ(button->sizeHint(), body + QSize(8, 8));
    EXPECT_EQ(button->size(), button->sizeHint());
    EXPECT_EQ(button->bodyRect(), QRect(QPoint(4, 4), body));
}

TEST_F(PrimaryButtonTest, OpacityIsFullEightyPercentPressedAndFortyFivePercentDisabled)
{
    const QColor blue = theme.color(ColorToken::electricBlue);
    EXPECT_TRUE(colorNear(bodyPixel(), opaque(blue)));

    button->setDown(true);
    EXPECT_NEAR(bodyPixel().alpha(), 204, 2);
    EXPECT_TRUE(colorNear(bodyPixel(), blue, 3, false));
    button->setDown(false);

    button->setEnabled(false);
    EXPECT_NEAR(bodyPixel().alpha(), 115, 2);
    button->setDown(true); // pressing a disabled button changes nothing
    EXPECT_NEAR(bodyPixel().alpha(), 115, 2);
}

TEST_F(PrimaryButtonTest, FocusRingIsTwoPointInkThreePointsOutsideTheBody)
{
    const QRect body = button->bodyRect();
    const QColor ink = opaque(theme.color(ColorToken::ink));
    // Not focused, standard contrast: nothing around the body, plain blue at its edge.
    EXPECT_EQ(pixelAt(body.left() - 3, body.center().y()).alpha(), 0);
    EXPECT_TRUE(colorNear(pixelAt(body.left(), body.center().y()), opaque(theme.color(ColorToken::electricBlue))));

    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    // The ring's line runs from 2 to 4 points outside the body.
    EXPECT_TRUE(colorNear(pixelAt(body.left() - 3, body.center().y()), ink));
    EXPECT_TRUE(colorNear(pixelAt(body.center().x(), body.top() - 3), ink));
    EXPECT_EQ(pixelAt(body.left() - 1, body.center().y()).alpha(), 0);
}

TEST_F(PrimaryButtonTest, IncreasedContrastDrawsAOnePointRingOnTheEdgeWhenNotFocused)
{
    theme.accessibility().setIncreasedContrast(true);
    const QRect body = button->bodyRect();
    const QColor edge = pixelAt(body.left(), body.center().y());
    // Half of the centred 1-point line covers the body's first column.
    const QColor expected = blend(theme.color(ColorToken::ink), 0.5, theme.color(ColorToken::electricBlue));
    EXPECT_TRUE(colorNear(edge, opaque(expected), 12));
    EXPECT_EQ(pixelAt(body.left() - 3, body.center().y()).alpha(), 0);

    // Focus takes precedence: the ring moves out.
    button->setFocus();
    EXPECT_TRUE(colorNear(pixelAt(body.left() - 3, body.center().y()), opaque(theme.color(ColorToken::ink))));
}

TEST_F(PrimaryButtonTest, ClicksOnlyCountOnTheBodyNotTheRingMargin)
{
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicked.count(), 0);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->bodyRect().center());
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(PrimaryButtonTest, MnemonicMarkersAreNotDrawnOrMeasured)
{
    TolviPrimaryButton withMarker(QStringLiteral("&Paste"));
    EXPECT_EQ(withMarker.sizeHint(), button->sizeHint());
}

} // namespace
} // namespace tolvi
