#include "DesignTestSupport.h"

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/CardShadow.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

class CardOverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TolviWindowAppearance::attach(&host, &theme);
        host.resize(900, 700);
    }

    TolviCardOverlay* make()
    {
        return new TolviCardOverlay(new QWidget, {QSize(460, 380), QSize(680, 560), QSize(820, 740), 28, 0.13, 18},
                                    &host);
    }

    TolviTheme theme;
    QWidget host;
};

TEST_F(CardOverlayTest, CardTakesItsIdealSizeCentredAndShrinksToTheHostsRoom)
{
    TolviCardOverlay* overlay = make();
    theme.accessibility().setReduceMotion(true);
    host.show();
    overlay->present();
    EXPECT_EQ(overlay->geometry(), host.rect());
    EXPECT_EQ(overlay->card()->geometry(), QRect(110, 70, 680, 560));

    // Smaller than the minimum plus the margins: the room wins, the card stays centred.
    host.resize(500, 420);
    EXPECT_EQ(overlay->geometry(), host.rect());
    EXPECT_EQ(overlay->card()->geometry(), QRect(28, 28, 444, 364));
}

TEST_F(CardOverlayTest, ABackdropClickIsReportedAndACardClickIsNot)
{
    TolviCardOverlay* overlay = make();
    theme.accessibility().setReduceMotion(true);
    host.show();
    overlay->present();
    QSignalSpy clicks(overlay, &TolviCardOverlay::backdropClicked);
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(overlay->card(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(overlay->isVisible());
}

TEST_F(CardOverlayTest, DismissCallsBackOnceAfterTheTransitionOrAtOnceUnderReducedMotion)
{
    host.show();
    TolviCardOverlay* animated = make();
    animated->present();
    int calls = 0;
    animated->dismiss([&] { ++calls; });
    animated->dismiss([&] { calls += 10; }); // replaces the callback, starts nothing new
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(animated->isDismissing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls != 0; }, 5000));
    QTest::qWait(TolviCardOverlay::transitionMilliseconds);
    EXPECT_EQ(calls, 10);

    theme.accessibility().setReduceMotion(true);
    TolviCardOverlay* still = make();
    still->present();
    EXPECT_EQ(still->card()->geometry(), still->restingCardRect());
    bool deleted = false;
    still->dismiss([&] {
        deleted = true;
        delete still; // the callback may delete the overlay
    });
    EXPECT_TRUE(deleted);
}

// The shadow painted from its small tile is the shadow painted ring by ring, pixel for pixel
// within rounding, for the cards the overlays show, at one and two device pixels a point, and
// for a card smaller than the tile.
TEST(CardShadowTest, TheTiledShadowIsTheShadowOfItsRings)
{
    struct Case {
        QSizeF card;
        qreal ratio;
    };
    for (const Case& c : {Case{{680, 560}, 1}, Case{{620, 520}, 2}, Case{{431, 381}, 1}, Case{{30, 30}, 1}}) {
        const QSize canvas = (c.card + QSizeF(120, 120)).toSize();
        auto render = [&](bool tiled) {
            QImage image(canvas * c.ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(c.ratio);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            const QRectF card(QPointF(60, 60 + CardShadow::drop), c.card);
            if (tiled)
                CardShadow::paint(painter, card, 18);
            else
                CardShadow::paintRings(painter, card, 18, 1);
            return image;
        };
        const QImage tiled = render(true);
        const QImage rings = render(false);
        int worst = 0;
        for (int y = 0; y < tiled.height(); ++y) {
            const QRgb* a = reinterpret_cast<const QRgb*>(tiled.constScanLine(y));
            const QRgb* b = reinterpret_cast<const QRgb*>(rings.constScanLine(y));
            for (int x = 0; x < tiled.width(); ++x)
                worst = std::max(worst, std::abs(qAlpha(a[x]) - qAlpha(b[x])));
        }
        EXPECT_LE(worst, 2) << c.card.width() << " x " << c.card.height() << " at " << c.ratio;
        // The shadow is there: its darkest part is the rings' sum.
        EXPECT_GT(qAlpha(rings.pixel(rings.width() / 2, int((60 + CardShadow::drop + c.card.height() / 2) * c.ratio))),
                  40);
    }
}

} // namespace
} // namespace tolvi
