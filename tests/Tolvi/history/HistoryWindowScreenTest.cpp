// The history window on a desktop of two screens (the offscreen platform's configuration): it
// opens on the screen that holds the pointer.
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "HistoryTestSupport.h"

#include "Tolvi/platform/shell/Clock.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

TEST(HistoryWindowScreens, OpensOnTheScreenThatHoldsThePointer)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    QScreen* primary = QGuiApplication::primaryScreen();
    QScreen* other = screens.at(0) == primary ? screens.at(1) : screens.at(0);
    ASSERT_NE(primary->geometry(), other->geometry());

    auto store = makeMemoryStore();
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    QPoint pointer = other->geometry().center() + QPoint(37, -12);
    ClipboardPanelController::Dependencies dependencies{
        *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {},
        nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return 800'000'000.0; }};
    dependencies.pointerPosition = [&pointer] { return pointer; };
    ClipboardPanelController controller(std::move(dependencies));

    const auto openAndCheck = [&](QScreen* expected) {
        controller.show(false);
        QWidget* panel = controller.panel();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
        const QRect frame = panel->geometry();
        EXPECT_TRUE(expected->availableGeometry().contains(frame)) << frame.x() << "," << frame.y();
        EXPECT_EQ(panel->pos(),
                  ClipboardPanelController::origin(expected->availableGeometry(), panel->size()));
        controller.orderOut();
    };
    openAndCheck(other);
    // The pointer moves to the other screen: so does the window, next time it opens.
    pointer = primary->geometry().topLeft() + QPoint(5, 5);
    openAndCheck(primary);
    // A pointer between screens (no screen under it) falls back to the primary one.
    pointer = QPoint(-500, -500);
    openAndCheck(primary);
}
