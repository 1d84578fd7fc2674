// The board sheet in the history window: opened from "Manage Boards", over the dimmed content,
// closed by Escape through the window's key routing, with the keyboard going back to the list.
#include "BoardSheetTestSupport.h"

#include "../history/HistoryTestSupport.h"

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/platform/shell/Clock.h"

#include <QAbstractButton>
#include <QListView>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

class BoardSheetWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        ASSERT_TRUE(store->record(QStringLiteral("a clip"), now - 5));
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {},
            nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }});
        controller->show(false);
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    }

    void TearDown() override { controller.reset(); }

    ClipboardHistoryPanel& view() const { return *controller->view(); }
    HistoryWindowState& state() const { return *controller->windowState(); }

    void openSheet()
    {
        auto* manage = view().findChild<QAbstractButton*>(QStringLiteral("manageBoardsButton"));
        ASSERT_NE(manage, nullptr);
        ASSERT_TRUE(manage->isEnabled());
        manage->click();
        ASSERT_NE(view().boardSheet(), nullptr);
    }

    void pressEscape()
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key_Escape);
    }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
};

} // namespace

TEST_F(BoardSheetWindowTest, ManageBoardsShowsTheSheetOverTheBlockedWindowAndEscapeRunsItsCloseRequest)
{
    openSheet();
    BoardManagementView* sheet = view().boardSheet();
    EXPECT_TRUE(state().isHistoryInteractionBlocked());
    EXPECT_FALSE(view().list()->isEnabled());
    ASSERT_TRUE(eventually([sheet] { return sheet->isVisible() && sheet->newNameField()->hasFocus(); }));

    // With a name typed, Escape asks first; Escape in the question keeps editing.
    QTest::keyClicks(sheet->newNameField(), QStringLiteral("Projects"));
    pressEscape();
    QMessageBox* box = sheet->confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), controller->panel());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    QTest::keyClick(box, Qt::Key_Escape);
    ASSERT_TRUE(eventually([sheet] { return sheet->confirmation() == nullptr; }));
    // (The offscreen platform gives the window back its activation only when asked.)
    controller->panel()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    EXPECT_TRUE(state().isManagingBoards());
    EXPECT_EQ(sheet->newNameField()->text(), QStringLiteral("Projects"));

    // Added, nothing is unsaved: Escape closes the sheet, not the window, and the list has the
    // keyboard again.
    QTest::keyClick(sheet->newNameField(), Qt::Key_Return);
    ASSERT_TRUE(eventually([sheet] { return !sheet->isBusy(); }));
    EXPECT_EQ(store->pinboards().last().name(), QStringLiteral("Projects"));
    EXPECT_EQ(store->pinboards().last().systemName(), QStringLiteral("pinboard"));
    pressEscape();
    EXPECT_FALSE(state().isManagingBoards());
    EXPECT_TRUE(controller->isWindowVisible());
    ASSERT_TRUE(eventually([this] { return view().boardSheet() == nullptr; }));
    EXPECT_TRUE(view().list()->isEnabled());
    EXPECT_TRUE(eventually([this] { return view().list()->hasFocus(); }));

    // A click beside the sheet closes it when nothing is unsaved.
    openSheet();
    auto* overlay = qobject_cast<TolviCardOverlay*>(view().boardSheet()->parentWidget());
    ASSERT_NE(overlay, nullptr);
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_FALSE(state().isManagingBoards());
}
