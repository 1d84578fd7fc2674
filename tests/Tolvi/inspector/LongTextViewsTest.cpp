// Hostile texts a history file can hold, shown in every view of one clip in the history window
// (its row, the detail pane, the full-size preview and quick edit) and in the compact panel's
// editor, while a watchdog measures the longest time the main thread went without turning its
// event loop. Each view must show the text without freezing, and what is copied or pasted stays
// the whole text.
#include "tests/Tolvi/history/HistoryTestSupport.h"
#include "tests/support/HostileTexts.h"
#include "tests/support/MainThreadWatchdog.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryInspector.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/inspector/ClipLensView.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/FontCoverage.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/shell/Clock.h"
#include "TolviCore/text/TextCharacters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using namespace tolvi::test;

constexpr double now = 800'000'000.0;
// Far above the 100 ms the views are built for, so that a loaded test machine does not fail
// them, and far below the seconds a view takes that lays out a whole huge text at once.
constexpr double stallLimitMilliseconds = 600;

class LongTextViewsTest : public ::testing::TestWithParam<HostileText> {
protected:
    void SetUp() override
    {
        text = GetParam().make();
        theme.accessibility().setReduceMotion(true);
        // Known before a view opens, as it is by the time a user opens one.
        ASSERT_NE(FontCoverage::installedWhenReady(), nullptr);
        // Loaded from the history file as it stands: no capture limit applies.
        auto history = std::make_shared<MemoryHistory>();
        history->state.items = {ClipboardItem(QUuid::createUuid(), text, now - 30)};
        store = std::make_unique<ClipboardStore>(history, ClipboardStore::Configuration::standard());
        ASSERT_EQ(store->items().size(), 1);
    }

    void openWindow()
    {
        ClipboardPanelController::Dependencies dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr,
            {}, {}, &theme, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }};
        controller = std::make_unique<ClipboardPanelController>(std::move(dependencies));
        controller->show(false);
    }

    // Copy has put a text on the clipboard (a long one once it is encoded, off the main thread).
    bool copied()
    {
        return QTest::qWaitFor([this] { return paste.pasteboard.data(PasteboardTypes::plainText).has_value(); },
                               30'000);
    }

    HistoryWindowState& state() const { return *controller->windowState(); }
    ClipboardHistoryPanel& view() const { return *controller->view(); }

    void paintWindow(MainThreadWatchdog& watchdog)
    {
        controller->panel()->grab();
        watchdog.pump(150);
    }

    QString text;
    TolviTheme theme;
    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
};

TEST_P(LongTextViewsTest, EveryViewShowsTheTextWithoutStallingTheMainThread)
{
    MainThreadWatchdog watchdog;
    openWindow();
    watchdog.pump(300);
    ASSERT_TRUE(state().lensItem().has_value());

    // The row and the inspector, at the top and scrolled to the end of the text.
    ClipLensView* lens = controller->view()->findChild<ClipLensView*>();
    ASSERT_NE(lens, nullptr);
    paintWindow(watchdog);
    for (QScrollArea* area : lens->findChildren<QScrollArea*>()) {
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        paintWindow(watchdog);
    }
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), stallLimitMilliseconds) << "the history window and inspector";

    // The full-size preview: shown, scrolled to the end, everything selected and copied whole.
    state().openPreview(*state().lensItem());
    ClipQuickLookOverlay* preview = view().previewOverlay();
    ASSERT_NE(preview, nullptr);
    paintWindow(watchdog);
    QPlainTextEdit* shown = preview->textView();
    shown->verticalScrollBar()->setValue(shown->verticalScrollBar()->maximum());
    paintWindow(watchdog);
    shown->selectAll();
    paintWindow(watchdog);
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), stallLimitMilliseconds) << "the full-size preview";
    // Emoji are looked for in the families that show them, not through every font first.
    if (TextCharacters::holdsPictograph(text)) {
        EXPECT_TRUE(preview->textView()->document()->defaultFont().families().contains(
            QStringLiteral("Noto Color Emoji")));
    }
    QTest::mouseClick(preview->button(ClipQuickLookOverlay::Control::copy), Qt::LeftButton);
    ASSERT_TRUE(copied());
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), stallLimitMilliseconds) << "Copy in the full-size preview";
    EXPECT_TRUE(paste.pasteboard.data(PasteboardTypes::plainText) == text.toUtf8());
    // The test's own look at the clipboard (the whole text encoded and compared) is no view's work.
    watchdog.takeLongestStallMilliseconds();
    QTest::mouseClick(preview->button(ClipQuickLookOverlay::Control::close), Qt::LeftButton);
    watchdog.pump(100);
    ASSERT_EQ(view().previewOverlay(), nullptr);

    // Quick edit: shown, scrolled to the end, a character typed there and taken back.
    state().setEditingItem(*state().lensItem());
    ClipTextEditorOverlay* editor = view().quickEditOverlay();
    ASSERT_NE(editor, nullptr);
    paintWindow(watchdog);
    ClipTextEditor* field = editor->findChild<ClipTextEditor*>(QStringLiteral("quickEditText"));
    ASSERT_NE(field, nullptr);
    if (!field->isReadOnly()) {
        field->moveCursor(QTextCursor::End);
        paintWindow(watchdog);
        QTest::keyClick(field, Qt::Key_X);
        paintWindow(watchdog);
        QTest::keyClick(field, Qt::Key_Backspace);
        paintWindow(watchdog);
        EXPECT_TRUE(field->isUntouched());
    }
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), stallLimitMilliseconds) << "quick edit";
    if (field->isReadOnly()) {
        // Shown by its first part: Copy still copies the whole text.
        EXPECT_TRUE(text.startsWith(field->storedText()));
        paste.pasteboard.clear();
        QTest::mouseClick(editor->copyButton(), Qt::LeftButton);
        ASSERT_TRUE(copied());
        EXPECT_TRUE(paste.pasteboard.data(PasteboardTypes::plainText) == text.toUtf8());
    } else {
        EXPECT_EQ(field->storedText(), text);
    }
}

// The compact panel's editor: opened on the clip (Control+E), scrolled to the end, a character
// typed there and taken back; a text too long to edit there says so, and Copy and Paste take
// the whole text either way.
TEST_P(LongTextViewsTest, TheCompactEditorShowsTheTextWithoutStallingTheMainThread)
{
    MainThreadWatchdog watchdog;
    CompactClipboardPanelController::Dependencies dependencies{
        *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service};
    dependencies.theme = &theme;
    dependencies.thumbnails = &thumbnails;
    dependencies.now = [] { return now; };
    dependencies.pointerPosition = [] { return QPoint(400, 300); };
    CompactClipboardPanelController compact(std::move(dependencies));
    compact.show();
    compact.panel()->grab();
    watchdog.pump(300);
    watchdog.takeLongestStallMilliseconds();

    PanelCommandBus::shared().post(CompactKeyboardCommand::editSelectedClip, compact.panel());
    ASSERT_EQ(compact.panelMode(), CompactPanelMode::editor);
    compact.panel()->grab();
    watchdog.pump(150);
    ClipTextEditor* field = compact.view()->editor();
    for (QAbstractScrollArea* area : compact.panel()->findChildren<QAbstractScrollArea*>())
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    compact.panel()->grab();
    watchdog.pump(150);
    if (field->isVisible()) {
        field->setFocus();
        field->moveCursor(QTextCursor::End);
        compact.panel()->grab();
        watchdog.pump(150);
        QTest::keyClick(field, Qt::Key_X);
        compact.panel()->grab();
        watchdog.pump(150);
        QTest::keyClick(field, Qt::Key_Backspace);
        compact.panel()->grab();
        watchdog.pump(150);
        EXPECT_TRUE(field->isUntouched());
        EXPECT_EQ(field->storedText(), text);
    } else {
        EXPECT_TRUE(compact.view()->longTextNote()->isVisible());
    }
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), stallLimitMilliseconds) << "the compact editor";

    paste.pasteboard.clear();
    ASSERT_TRUE(compact.view()->copyButton()->isEnabled());
    compact.view()->copyButton()->click();
    ASSERT_TRUE(copied());
    EXPECT_TRUE(paste.pasteboard.data(PasteboardTypes::plainText) == text.toUtf8());
}

INSTANTIATE_TEST_SUITE_P(HostileTexts, LongTextViewsTest, ::testing::ValuesIn(hostileTexts()),
                         [](const ::testing::TestParamInfo<HostileText>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvi
