#include "DesignTestSupport.h"

#include "Tolvi/design/Surfaces.h"

#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using testing::blend;
using testing::colorNear;
using testing::opaque;
using testing::render;

// A themed host for the piece under test, with its own theme and settings.
class SurfacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme.setTranslucencyOverride(true);
        TolviWindowAppearance::attach(&host, &theme);
    }

    QColor token(ColorToken t) const { return theme.color(t); }

    TolviTheme theme;
    QWidget host;
};

TEST_F(SurfacesTest, PlateFormFollowsAccessibilityBeforeTranslucency)
{
    DesignContext c;
    c.translucencyAvailable = true;
    EXPECT_EQ(plateStyle(c).form, PlateForm::material);

    c.reduceTransparency = true;
    EXPECT_EQ(plateStyle(c).form, PlateForm::solid);
    EXPECT_DOUBLE_EQ(plateStyle(c).edgeWidth, 0.7);

    c.increasedContrast = true; // contrast wins the edge whatever transparency says
    EXPECT_EQ(plateStyle(c).form, PlateForm::solid);
    EXPECT_DOUBLE_EQ(plateStyle(c).edgeWidth, 1.5);
    c.reduceTransparency = false;
    EXPECT_DOUBLE_EQ(plateStyle(c).edgeWidth, 1.5);

    // Nothing composes the window: translucency would show black, so solid.
    DesignContext noCompositor;
    noCompositor.translucencyAvailable = false;
    EXPECT_EQ(plateStyle(noCompositor).form, PlateForm::solid);
}

TEST_F(SurfacesTest, SolidPlateUnderIncreasedContrastHasOpaqueSurfaceAndStrongMutedEdge)
{
    theme.accessibility().setIncreasedContrast(true);
    TolviLiquidPlate plate(12, ColorToken::electricBlue, &host);
    plate.resize(120, 60);
    const QImage image = render(plate);

    EXPECT_TRUE(colorNear(image.pixelColor(60, 30), opaque(token(ColorToken::surface))));
    // The 1.5-point edge fully covers the first pixel column; muted at 0.8 over the surface.
    const QColor expectedEdge = blend(token(ColorToken::muted), 0.8, token(ColorToken::surface));
    EXPECT_TRUE(colorNear(image.pixelColor(0, 30), expectedEdge, 4));
    // Rounded corners: the very corner is outside the shape.
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
}

TEST_F(SurfacesTest, SolidPlateWithReducedTransparencyHasFaintThinEdge)
{
    theme.setAppearance(ThemeAppearance::dark);
    theme.accessibility().setReduceTransparency(true);
    TolviLiquidPlate plate(12, {}, &host);
    plate.resize(120, 60);
    const QImage image = render(plate);

    EXPECT_TRUE(colorNear(image.pixelColor(60, 30), opaque(token(ColorToken::surface))));
    // A 0.7-point line: 70 % of the first column, muted at 0.3.
    const QColor expectedEdge = blend(token(ColorToken::muted), 0.3 * 0.7, token(ColorToken::surface));
    EXPECT_TRUE(colorNear(image.pixelColor(0, 30), expectedEdge, 6));
    EXPECT_TRUE(colorNear(image.pixelColor(2, 30), opaque(token(ColorToken::surface))));
}

TEST_F(SurfacesTest, MaterialPlateIsTranslucentWithHighlightEdge)
{
    theme.setAppearance(ThemeAppearance::dark);
    TolviLiquidPlate plate(12, {}, &host);
    plate.resize(120, 60);
    const QImage image = render(plate);

    const QColor centre = image.pixelColor(60, 30);
    EXPECT_GT(centre.alpha(), 100);
    EXPECT_LT(centre.alpha(), 220);
    EXPECT_TRUE(colorNear(centre, token(ColorToken::surface), 3, false));
    // The white highlight edge makes the rim brighter and more opaque than the inside.
    const QColor rim = image.pixelColor(0, 30);
    EXPECT_GT(rim.alpha(), centre.alpha());
    EXPECT_GT(rim.red(), centre.red() + 40);
}

TEST_F(SurfacesTest, TurningReduceTransparencyOnRedrawsOpenPlatesSolid)
{
    host.resize(200, 100);
    auto* plate = new TolviLiquidPlate(10, {}, &host);
    plate->setGeometry(10, 10, 100, 50);
    host.show();
    EXPECT_LT(render(*plate).pixelColor(50, 25).alpha(), 255);
    theme.accessibility().setReduceTransparency(true);
    EXPECT_EQ(render(*plate).pixelColor(50, 25).alpha(), 255);
    host.hide();
}

TEST_F(SurfacesTest, RaisedBaseShowsThroughTranslucentPlateOnlyAndSurfaceKeepsContentFrame)
{
    auto* content = new QLabel(QStringLiteral("content"));
    content->setFixedSize(140, 50);
    TolviGlassSurface* raised = tolviGlass(content, 14, ColorToken::electricBlue, true);
    raised->setParent(&host);
    raised->adjustSize();
    EXPECT_EQ(raised->size(), QSize(140, 50));
    EXPECT_EQ(raised->contentWidget(), content);
    EXPECT_TRUE(raised->isRaised());

    TolviGlassSurface flat(14, ColorToken::electricBlue, false, &host);
    flat.resize(140, 50);

    // Material form: the base (raisedSurface at 0.75) makes the raised surface more opaque.
    const int raisedAlpha = render(*raised).pixelColor(130, 45).alpha();
    const int flatAlpha = render(flat).pixelColor(130, 45).alpha();
    EXPECT_GT(raisedAlpha, flatAlpha + 30);

    // Solid form: the base is hidden behind the opaque plate.
    theme.accessibility().setReduceTransparency(true);
    EXPECT_TRUE(colorNear(render(*raised).pixelColor(130, 45), render(flat).pixelColor(130, 45), 1));
}

TEST_F(SurfacesTest, TolviGlassTakesTheContentsPlaceInItsLayout)
{
    QWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    auto* above = new QLabel(QStringLiteral("above"));
    auto* card = new QLabel(QStringLiteral("card"));
    layout->addWidget(above);
    layout->addWidget(card);

    TolviGlassSurface* surface = tolviGlass(card, 8);
    EXPECT_EQ(surface->parentWidget(), &parent);
    EXPECT_EQ(layout->indexOf(surface), 1);
    EXPECT_EQ(layout->indexOf(card), -1);
    EXPECT_EQ(card->parentWidget(), surface);
}

TEST_F(SurfacesTest, BackdropCornersAreEighteenCompactAndTwentyTwoRegular)
{
    TolviConsoleBackdrop compact(true, &host);
    TolviConsoleBackdrop regular(false, &host);
    compact.resize(200, 120);
    regular.resize(200, 120);
    EXPECT_DOUBLE_EQ(compact.cornerRadius(), 18);
    EXPECT_DOUBLE_EQ(regular.cornerRadius(), 22);

    // Along the diagonal the corner curve sits 0.293 r in: 5.3 px for 18, 6.4 px for 22.
    const QImage c = render(compact);
    const QImage r = render(regular);
    EXPECT_GT(c.pixelColor(5, 5).alpha(), 150);
    EXPECT_LT(r.pixelColor(5, 5).alpha(), 100);
    EXPECT_EQ(c.pixelColor(0, 0).alpha(), 0);
    // Inside, the backdrop is opaque and close to the canvas colour.
    const QColor centre = c.pixelColor(100, 60);
    EXPECT_EQ(centre.alpha(), 255);
    EXPECT_TRUE(colorNear(centre, opaque(token(ColorToken::canvas)), 8));
}

TEST_F(SurfacesTest, BackdropStaysSquareAndOpaqueWithoutACompositor)
{
    theme.setTranslucencyOverride(false);
    TolviConsoleBackdrop backdrop(false, &host);
    backdrop.resize(200, 120);
    const QImage image = render(backdrop);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 255);
    EXPECT_EQ(image.pixelColor(199, 119).alpha(), 255);
}

// A window repainting part of itself inside (a list, a field, a label) gets there the pixels a
// whole paint gives, in every form; so does the inside of a repaint that also reaches an edge.
TEST_F(SurfacesTest, BackdropRepaintedInsideMatchesTheWholePaint)
{
    const auto paintedIn = [](TolviConsoleBackdrop& backdrop, const QRegion& region) {
        QImage image(backdrop.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        backdrop.render(&image, region.boundingRect().topLeft(), region, QWidget::DrawChildren);
        return image;
    };
    const QRect inside(40, 30, 200, 120);
    const QRect alongTop(2, 26, 297, 10); // just inside the edges, below the corners
    const QRect alongLeft(24, 2, 40, 199);
    const struct {
        QRegion repainted;
        QList<QRect> compared;
    } repaints[] = {
        {QRegion(inside), {inside}},
        {QRegion(alongTop) + QRegion(alongLeft), {alongTop, alongLeft}},
        {QRegion(inside) + QRegion(250, 0, 51, 40), {inside}},
    };
    for (const bool compact : {false, true}) {
        for (const bool translucent : {true, false}) {
            for (const bool reduced : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "compact " << compact << ", translucent " << translucent
                                                  << ", reduced transparency " << reduced);
                theme.setTranslucencyOverride(translucent);
                theme.accessibility().setReduceTransparency(reduced);
                TolviConsoleBackdrop backdrop(compact, &host);
                backdrop.resize(301, 203);
                const QImage whole = paintedIn(backdrop, QRegion(backdrop.rect()));
                for (const auto& repaint : repaints) {
                    const QImage image = paintedIn(backdrop, repaint.repainted);
                    for (const QRect& area : repaint.compared) {
                        EXPECT_EQ(image.copy(area), whole.copy(area))
                            << "area " << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();
                    }
                }
            }
        }
    }
}

TEST_F(SurfacesTest, SymbolMarkOnTheFirstLineIsLoweredToTheLinesMiddleAndDrawsOnlyBelowTheInset)
{
    QFont font;
    font.setPixelSize(24);
    const int lineHeight = QFontMetrics(font).height();
    const int side = 10;
    ASSERT_GT(lineHeight, side + 2);
    const int inset = (lineHeight - side) / 2;

    TolviSymbolMark* mark = TolviSymbolMark::onFirstLine(QStringLiteral("circle"), ColorToken::ink, side, font, &host);
    EXPECT_EQ(mark->size(), QSize(side, side + inset));
    EXPECT_TRUE(mark->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(mark->focusPolicy(), Qt::NoFocus);

    QImage image(mark->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    mark->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    auto rowsInked = [&image](int from, int to) {
        for (int y = from; y < to; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).alpha() > 0)
                    return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(rowsInked(0, inset));
    EXPECT_TRUE(rowsInked(inset, image.height()));

    // A symbol taller than the line is not lowered at all.
    TolviSymbolMark* tall = TolviSymbolMark::onFirstLine(QStringLiteral("circle"), ColorToken::ink, lineHeight + 6,
                                                         font, &host);
    EXPECT_EQ(tall->size(), QSize(lineHeight + 6, lineHeight + 6));
}

TEST_F(SurfacesTest, UnthemedPiecesDrawTheLightSolidForm)
{
    QWidget loose;
    TolviLiquidPlate plate(6, {}, &loose);
    plate.resize(40, 40);
    EXPECT_TRUE(colorNear(render(plate).pixelColor(20, 20),
                          opaque(TolviDesign::color(ColorToken::surface, ThemeAppearance::light))));
}

} // namespace
} // namespace tolvi
