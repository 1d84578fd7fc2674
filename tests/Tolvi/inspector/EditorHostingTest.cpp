// The history window hosts both editors: Ctrl+N and the opening flag bring up the new snippet,
// the row menu's Edit the quick editor; Escape goes to the open editor first and, in its
// question, closes only the question; saves reach the store and the usage counters.
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/UnsavedDrafts.h"

#include "tests/Tolvi/history/HistoryTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

class EditorHostingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        ASSERT_TRUE(store->record(QStringLiteral("first clip"), now - 10));
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {},
            nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }});
    }

    void TearDown() override { controller.reset(); }

    void open(bool opensNewSnippet = false)
    {
        controller->show(opensNewSnippet);
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    }

    void press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    ClipboardHistoryPanel& view() const { return *controller->view(); }
    HistoryWindowState& state() const { return *controller->windowState(); }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
};

} // namespace

TEST_F(EditorHostingTest, NewSnippetFromCtrlNWithEscapeAndItsQuestion)
{
    open();
    // Ctrl+N works from the list (the search field keeps its keys to itself).
    view().list()->setFocus();
    press(Qt::Key_N, Qt::ControlModifier);
    NewSnippetOverlay* snippet = view().newSnippetOverlay();
    ASSERT_NE(snippet, nullptr);
    EXPECT_TRUE(state().isHistoryInteractionBlocked());
    EXPECT_FALSE(view().searchField()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), snippet->editor());

    QTest::keyClicks(snippet->editor(), QStringLiteral("Thanks!"));
    press(Qt::Key_Escape);
    QMessageBox* question = snippet->openQuestion();
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(question));
    question->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(question));
    QTest::keyClick(question, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return snippet->openQuestion() == nullptr; }));
    EXPECT_TRUE(controller->isWindowVisible());
    EXPECT_EQ(view().newSnippetOverlay(), snippet);
    EXPECT_EQ(snippet->text(), QStringLiteral("Thanks!"));

    // Ctrl+S saves: the card closes, the new clip is selected, the counters count it.
    controller->panel()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    snippet->editor()->setFocus();
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(state().isCreatingSnippet());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view().newSnippetOverlay() == nullptr; }));
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("Thanks!"));
    EXPECT_EQ(state().lensItem()->id(), store->itemAt(0).id());
    EXPECT_EQ(usage.count(UsageMetricEvent::snippetCreated), 1);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstSnippetCreated), 1);
    EXPECT_TRUE(view().searchField()->hasFocus());

    // A second snippet counts once more, the first-snippet counter not again.
    view().list()->setFocus();
    press(Qt::Key_N, Qt::ControlModifier);
    ASSERT_NE(view().newSnippetOverlay(), nullptr);
    view().newSnippetOverlay()->editor()->insertPlainText(QStringLiteral("Second"));
    view().newSnippetOverlay()->save();
    EXPECT_EQ(usage.count(UsageMetricEvent::snippetCreated), 2);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstSnippetCreated), 1);
}

TEST_F(EditorHostingTest, OpensTheNewSnippetWhenAskedToOnAppearance)
{
    open(true);
    ASSERT_NE(view().newSnippetOverlay(), nullptr);
    EXPECT_TRUE(state().isCreatingSnippet());
    // Nothing typed: Escape closes at once.
    press(Qt::Key_Escape);
    EXPECT_FALSE(state().isCreatingSnippet());
    EXPECT_TRUE(controller->isWindowVisible());
}

TEST_F(EditorHostingTest, QuickEditFromTheRowMenuSavesAndPastes)
{
    open();
    const QUuid id = store->itemAt(0).id();
    std::unique_ptr<QMenu> menu(view().makeRowMenu(id, nullptr));
    ASSERT_NE(menu, nullptr);
    QAction* edit = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Edit"))
            edit = action;
    }
    ASSERT_NE(edit, nullptr);
    edit->trigger();
    ClipTextEditorOverlay* editor = view().quickEditOverlay();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(state().isHistoryInteractionBlocked());
    EXPECT_EQ(QApplication::focusWidget(), editor->editor());
    // AI is switched off in this window.
    for (QAbstractButton* button : editor->aiButtons())
        EXPECT_TRUE(button->isHidden());

    editor->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor->editor(), QStringLiteral(" edited"));
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(store->item(id)->content().textValue(), QStringLiteral("first clip edited"));
    EXPECT_EQ(usage.count(UsageMetricEvent::quickEditSaved), 1);
    // The editor stays; Ctrl+Return pastes the text and the window goes.
    EXPECT_EQ(view().quickEditOverlay(), editor);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(paste.pastes, 1);
    EXPECT_FALSE(controller->isWindowVisible());
}

// Clicks the button of that title in the card's question once it is up.
static void answerCardQuestion(ClipTextEditorOverlay* card, const QString& button)
{
    QTimer::singleShot(20, card, [card, button] {
        QMessageBox* box = card->openQuestion();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Discard unsaved changes?"));
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == button)
                candidate->click();
        }
    });
}

TEST_F(EditorHostingTest, QuickEditTextAsksAtLogoutAndComesBackAtTheNextStart)
{
    QTemporaryDir dataFolder;
    UnsavedDrafts drafts(dataFolder.filePath(QStringLiteral("unsaved-drafts.json")));
    auto makeController = [&](UnsavedDrafts& with) {
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {},
            {}, nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }, {}, {}, {}, &with});
    };
    controller = makeController(drafts);
    open();
    const ClipboardItem clip = store->itemAt(0);
    state().setEditingItem(clip);
    ClipTextEditorOverlay* card = view().quickEditOverlay();
    ASSERT_NE(card, nullptr);
    card->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(card->editor(), QStringLiteral(", edited"));
    const QString typed = QStringLiteral("first clip, edited");
    ASSERT_EQ(card->draft().editedText, typed);

    // The logout asks the card's own question; "Keep Editing" cancels it and keeps the card.
    answerCardQuestion(card, QStringLiteral("Keep Editing"));
    EXPECT_EQ(drafts.commitData([] { return true; }), UnsavedDrafts::CommitAnswer::cancel);
    ASSERT_EQ(view().quickEditOverlay(), card);
    EXPECT_FALSE(card->isClosed());

    // Ended without a question: kept, and handed back to a new window's Quick Edit.
    ASSERT_TRUE(drafts.keep());
    UnsavedDrafts nextRun(drafts.filePath());
    nextRun.recover();
    ASSERT_EQ(nextRun.recovered().size(), 1);
    controller = makeController(nextRun);
    QCoreApplication::processEvents();
    ASSERT_TRUE(controller->isWindowVisible());
    card = view().quickEditOverlay();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->item().id(), clip.id());
    EXPECT_EQ(card->draft().originalText, QStringLiteral("first clip"));
    EXPECT_EQ(card->draft().editedText, typed);
    EXPECT_EQ(card->editor()->storedText(), typed);
    card->save();
    EXPECT_EQ(store->itemAt(0).content().textValue(), typed);
}
