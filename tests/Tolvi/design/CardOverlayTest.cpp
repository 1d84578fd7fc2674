#include "DesignTestSupport.h"

#include "Tolvi/design/CardOverlay.h"

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

} // namespace
} // namespace tolvi
