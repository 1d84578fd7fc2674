#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/inspector/ShownText.h"

#include "tests/Tolvi/history/HistoryTestSupport.h"

#include "Tolvi/platform/shell/Clock.h"
#include "TolviCore/ai/AIServiceError.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

class CompactPanelStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        // Newest first: "clip 2", "clip 1", "clip 0".
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(store->record(QStringLiteral("clip %1").arg(i), now - 100 + i));
    }

    CompactPanelState& makeState(bool ai = false)
    {
        CompactPanelActions actions;
        actions.pasteItem = [this](const ClipboardItem& item) { pastedItems.append(item.content().searchText()); };
        actions.pasteText = [this](const QString& text) { pastedTexts.append(text); };
        actions.copyText = [this](const QString& text) { copiedTexts.append(text); };
        actions.closePanel = [this] { ++closes; };
        actions.setPanelMode = [this](CompactPanelMode mode) { reportedMode = mode; };
        actions.setModalInteraction = [this](bool active) { modal = active; };
        actions.runAIAction = [this](const AIAction& action, const QString& input, QObject*,
                                     std::function<void(AIResult)> done) { runs.append({action, input, done}); };
        state = std::make_unique<CompactPanelState>(*store, &usage, FeatureFlags(TolviDistributionChannel::direct, ai),
                                                    actions);
        state->setClock([] { return now; });
        return *state;
    }

    ClipboardItem clipAt(int index) const { return store->itemAt(index); }

    struct Run {
        AIAction action;
        QString input;
        std::function<void(AIResult)> done;
    };

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    std::unique_ptr<CompactPanelState> state;
    QStringList pastedItems;
    QStringList pastedTexts;
    QStringList copiedTexts;
    QList<Run> runs;
    int closes = 0;
    CompactPanelMode reportedMode = CompactPanelMode::results;
    bool modal = false;
};

TEST_F(CompactPanelStateTest, CancelStepsBackOneLevelAtATime)
{
    CompactPanelState& s = makeState();
    s.handleCommand(CompactKeyboardCommand::accept);
    EXPECT_EQ(s.mode(), CompactPanelMode::actions);
    EXPECT_EQ(reportedMode, CompactPanelMode::actions);
    EXPECT_EQ(s.selectedActionID(), QStringLiteral("edit-text"));

    s.handleCommand(CompactKeyboardCommand::editSelectedClip);
    ASSERT_EQ(s.mode(), CompactPanelMode::editor);
    EXPECT_EQ(reportedMode, CompactPanelMode::editor);
    EXPECT_EQ(s.editorTitle(), QStringLiteral("clip 2"));

    // An edited draft asks first; the next cancel only closes the question, keeping the draft.
    s.setEditedText(QStringLiteral("clip 2, edited"));
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_TRUE(s.isDiscardConfirmationPresented());
    EXPECT_TRUE(modal);
    EXPECT_EQ(s.mode(), CompactPanelMode::editor);
    s.handleCommand(CompactKeyboardCommand::accept); // guarded while the question is up
    EXPECT_TRUE(pastedTexts.isEmpty());
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_FALSE(s.isDiscardConfirmationPresented());
    EXPECT_FALSE(modal);
    EXPECT_EQ(s.draft().editedText, QStringLiteral("clip 2, edited"));

    // Typed back to the original: leaving asks nothing and returns to the same clip's actions.
    s.setEditedText(QStringLiteral("clip 2"));
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_EQ(s.mode(), CompactPanelMode::actions);
    EXPECT_EQ(s.selectedItem()->content().textValue(), QStringLiteral("clip 2"));
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_EQ(s.mode(), CompactPanelMode::results);
    EXPECT_EQ(s.selectedActionID(), std::nullopt);
    EXPECT_EQ(closes, 0);
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(s.mode(), CompactPanelMode::results);
}

TEST_F(CompactPanelStateTest, DiscardingLeavesTheEditorAndKeepEditingStays)
{
    CompactPanelState& s = makeState();
    s.openEditor();
    s.setEditedText(QStringLiteral("changed"));
    s.requestLeaveEditor();
    s.keepEditing();
    EXPECT_EQ(s.mode(), CompactPanelMode::editor);
    // Opening the editor again never resets unsaved text.
    s.openEditor();
    EXPECT_EQ(s.draft().editedText, QStringLiteral("changed"));
    s.requestLeaveEditor();
    s.discardChanges();
    EXPECT_EQ(s.mode(), CompactPanelMode::actions);
    EXPECT_FALSE(s.isDiscardConfirmationPresented());
}

TEST_F(CompactPanelStateTest, AcceptInEachMode)
{
    CompactPanelState& s = makeState();
    s.moveClipSelection(1);
    s.accept();
    ASSERT_EQ(s.mode(), CompactPanelMode::actions);
    // Down to "Paste", the first of the other actions, and Return pastes the clip as it was.
    s.moveActionSelection(1);
    s.moveActionSelection(1);
    s.moveActionSelection(1);
    EXPECT_EQ(s.selectedActionID(), QStringLiteral("paste"));
    s.accept();
    EXPECT_EQ(pastedItems, QStringList{QStringLiteral("clip 1")});

    // "Email Draft" pastes the transformed text.
    s.setSelectedActionID(QStringLiteral("text-emailDraft"));
    s.accept();
    ASSERT_EQ(pastedTexts.size(), 1);
    EXPECT_EQ(pastedTexts.first(), TextTransform(TextTransform::emailDraft).apply(QStringLiteral("clip 1")));

    // "Edit Text" opens the editor; there Return-with-Control pastes the edit unchanged and unsaved.
    s.setSelectedActionID(QStringLiteral("edit-text"));
    s.accept();
    ASSERT_EQ(s.mode(), CompactPanelMode::editor);
    s.setEditedText(QStringLiteral("clip 1 edited"));
    s.accept();
    EXPECT_EQ(pastedTexts.last(), QStringLiteral("clip 1 edited"));
    EXPECT_EQ(store->itemAt(1).content().textValue(), QStringLiteral("clip 1"));
    s.setEditedText(QStringLiteral(" \n\t"));
    s.accept();
    EXPECT_EQ(pastedTexts.size(), 2);
}

TEST_F(CompactPanelStateTest, SelectionClampsFollowsTheListAndFallsBackToResults)
{
    CompactPanelState& s = makeState();
    s.moveClipSelection(-1);
    EXPECT_EQ(s.selectedRow(), 0);
    s.moveClipSelection(1);
    s.moveClipSelection(1);
    s.moveClipSelection(1);
    EXPECT_EQ(s.selectedRow(), 2);
    EXPECT_EQ(s.keyboardScrollTargetItemID(), clipAt(2).id());

    // The selected clip leaves the history: the first remaining one is selected.
    store->remove(clipAt(2));
    EXPECT_EQ(s.selectedItemID(), clipAt(0).id());

    s.openActions();
    s.setQuery(QStringLiteral("no such clip"));
    EXPECT_EQ(s.mode(), CompactPanelMode::results);
    EXPECT_EQ(s.selectedItemID(), std::nullopt);
    EXPECT_FALSE(s.selectedItem());
    s.openActions();
    EXPECT_EQ(s.mode(), CompactPanelMode::results);

    // Opening the editor on an image does nothing.
    s.showAllClips();
    ASSERT_TRUE(store->record(ClipboardContent::image(ClipboardImage(pngBytes(4, 4), QStringLiteral("public.png"), 4, 4)),
                              now));
    s.setSelectedItemID(clipAt(0).id());
    s.openEditor();
    EXPECT_EQ(s.mode(), CompactPanelMode::results);
}

TEST_F(CompactPanelStateTest, PanelHeightFollowsModeAndCounts)
{
    CompactPanelState& s = makeState();
    EXPECT_EQ(s.panelHeight(), 248); // 58 x 3 + 74
    s.setQuery(QStringLiteral("clip 1"));
    EXPECT_EQ(s.panelHeight(), 220); // 132, raised to the minimum
    s.setQuery(QStringLiteral("nothing"));
    EXPECT_EQ(s.panelHeight(), 236);
    s.setQuery(QString());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("more %1").arg(i), now + i));
    EXPECT_EQ(s.panelHeight(), 420);

    // An image without recognised text: Paste and Preview, then Paste Image Size, in two titled sections.
    ASSERT_TRUE(store->record(ClipboardContent::image(ClipboardImage(pngBytes(4, 4), QStringLiteral("public.png"), 4, 4)),
                              now + 100));
    s.setSelectedItemID(clipAt(0).id());
    s.setPreviewAvailable(true);
    s.openActions();
    EXPECT_EQ(s.visibleActions().size(), 3);
    EXPECT_EQ(s.panelHeight(), 52 * 3 + 72 + 36 + 20);
    // Without a preview to show, nothing offers one.
    s.setPreviewAvailable(false);
    EXPECT_EQ(s.visibleActionIDs(), (QStringList{"paste", "image-size"}));
    EXPECT_EQ(s.panelHeight(), 232);

    s.setSelectedItemID(clipAt(1).id());
    s.openEditor();
    EXPECT_EQ(s.panelHeight(), 420);
}

TEST_F(CompactPanelStateTest, GuardedCommandsWaitForThePreviewAndEscapeClosesIt)
{
    CompactPanelState& s = makeState();
    s.handleCommand(CompactKeyboardCommand::toggleClipPreview);
    EXPECT_FALSE(s.previewedItem()); // no preview to show
    s.setPreviewAvailable(true);
    s.handleCommand(CompactKeyboardCommand::toggleClipPreview);
    ASSERT_TRUE(s.previewedItem());
    EXPECT_TRUE(modal);
    EXPECT_EQ(usage.count(UsageMetricEvent::richPreviewOpened), 1);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstPreviewOpened), 1);
    s.handleCommand(CompactKeyboardCommand::selectNextClip);
    s.handleCommand(CompactKeyboardCommand::accept);
    EXPECT_EQ(s.selectedRow(), 0);
    EXPECT_EQ(s.mode(), CompactPanelMode::results);
    s.handleCommand(CompactKeyboardCommand::cancel);
    EXPECT_FALSE(s.previewedItem());
    EXPECT_FALSE(modal);
    EXPECT_EQ(closes, 0);
    s.openPreview(clipAt(1));
    EXPECT_EQ(usage.count(UsageMetricEvent::richPreviewOpened), 2);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstPreviewOpened), 1);
}

TEST_F(CompactPanelStateTest, AIResultsLandOnlyOnTheDraftTheyStartedFrom)
{
    CompactPanelState& s = makeState(true);
    s.openActions();
    EXPECT_EQ(s.selectedActionID(), QStringLiteral("ai-fix_writing"));
    s.accept();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(s.mode(), CompactPanelMode::editor);
    EXPECT_EQ(runs[0].input, QStringLiteral("clip 2"));
    EXPECT_EQ(s.editorStatus(), QStringLiteral("Fixing writing..."));

    // The current run's result replaces the edited text only.
    runs[0].done(AIResult::success(QStringLiteral("Clip 2.")));
    EXPECT_EQ(s.draft().editedText, QStringLiteral("Clip 2."));
    EXPECT_EQ(s.draft().originalText, QStringLiteral("clip 2"));
    EXPECT_EQ(s.runningAIActionID(), std::nullopt);

    // Typing meanwhile: the result is refused with the message, the typing kept.
    s.runAIInEditor(AIAction::draftReply());
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(s.editorStatus(), QStringLiteral("Drafting reply..."));
    s.runAIInEditor(AIAction::fixWriting()); // one run at a time
    EXPECT_EQ(runs.size(), 2);
    s.setEditedText(QStringLiteral("Clip 2. More"));
    runs[1].done(AIResult::success(QStringLiteral("A reply")));
    EXPECT_EQ(s.draft().editedText, QStringLiteral("Clip 2. More"));
    EXPECT_EQ(s.editorStatus(),
              QStringLiteral("Your text changed while the rewrite was running. Run it again to use your latest text."));
    EXPECT_TRUE(s.editorStatusIsError());
    s.discardChanges();
    ASSERT_EQ(s.mode(), CompactPanelMode::actions);

    // A run whose editor was left, and one from another clip, are dropped without a word.
    s.setSelectedActionID(QStringLiteral("ai-fix_writing"));
    s.accept();
    ASSERT_EQ(runs.size(), 3);
    s.requestLeaveEditor();
    ASSERT_EQ(s.mode(), CompactPanelMode::actions);
    runs[2].done(AIResult::success(QStringLiteral("late")));
    runs[2].done(AIResult::failure(std::make_shared<AIServiceError>(AIServiceError::Case::emptyOutput)));
    s.showResults();
    s.moveClipSelection(1);
    s.openActions();
    s.setSelectedActionID(QStringLiteral("ai-draft_reply"));
    s.accept();
    ASSERT_EQ(runs.size(), 4);
    runs[2].done(AIResult::success(QStringLiteral("late")));
    EXPECT_EQ(s.draft().editedText, QStringLiteral("clip 1"));
    EXPECT_EQ(s.editorStatus(), QStringLiteral("Drafting reply..."));

    // The current run's error shows; the draft stays.
    runs[3].done(AIResult::failure(std::make_shared<AIServiceError>(AIServiceError::Case::emptyOutput)));
    EXPECT_EQ(s.editorStatus(), QStringLiteral("AI returned an empty result."));
    EXPECT_EQ(s.draft().editedText, QStringLiteral("clip 1"));
    // Nothing of it reached the history.
    EXPECT_EQ(store->itemAt(1).content().textValue(), QStringLiteral("clip 1"));
}

TEST_F(CompactPanelStateTest, AIIsIgnoredWhileTheSwitchIsOff)
{
    CompactPanelState& s = makeState(false);
    s.openEditor();
    s.runAIInEditor(AIAction::fixWriting());
    s.runAIFromActions(AIAction::fixWriting(), clipAt(0), QStringLiteral("clip 2"));
    EXPECT_TRUE(runs.isEmpty());
    EXPECT_EQ(s.runningAIActionID(), std::nullopt);
}

TEST_F(CompactPanelStateTest, SavingFollowsTheStoresRulesAndNeverBringsBackARemovedClip)
{
    CompactPanelState& s = makeState();
    s.openEditor();
    EXPECT_FALSE(s.canSaveEditedText());
    s.setEditedText(QStringLiteral("clip 2 saved"));
    ASSERT_TRUE(s.canSaveEditedText());
    s.saveEditedText();
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("clip 2 saved"));
    EXPECT_FALSE(s.canSaveEditedText());
    EXPECT_EQ(usage.count(UsageMetricEvent::quickEditSaved), 1);
    s.requestLeaveEditor();
    EXPECT_EQ(s.mode(), CompactPanelMode::actions); // saved: no question

    // Over the character limit: refused, with the store's own message.
    s.openEditor();
    s.setEditedText(QString(50'001, QLatin1Char('x')));
    s.saveEditedText();
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("clip 2 saved"));
    ASSERT_TRUE(store->lastCaptureIssue().has_value());
    EXPECT_EQ(s.editorStatus(), *store->lastCaptureIssue());
    EXPECT_TRUE(s.canSaveEditedText());

    // The clip goes while its edit is open: saving neither brings it back nor lands elsewhere.
    s.setEditedText(QStringLiteral("orphan edit"));
    const QUuid edited = *s.editedItemID();
    store->remove(*store->item(edited));
    const QList<ClipboardItem> before = store->items();
    s.saveEditedText();
    EXPECT_EQ(store->items(), before);
    EXPECT_FALSE(store->item(edited));
    EXPECT_TRUE(s.editorStatusIsError());
    EXPECT_TRUE(s.draft().hasUnsavedChanges());
    EXPECT_EQ(s.editorTitle(), QStringLiteral("Text clip"));
    s.requestLeaveEditor();
    EXPECT_TRUE(s.isDiscardConfirmationPresented());
}

TEST_F(CompactPanelStateTest, FiltersAndCodeLook)
{
    CompactPanelState& s = makeState();
    EXPECT_FALSE(s.hasActiveFilters());
    s.setQuery(QStringLiteral("clip"));
    EXPECT_FALSE(s.hasActiveFilters());
    s.setContentFilter(ClipboardSearchContentFilter::images);
    EXPECT_TRUE(s.hasActiveFilters());
    EXPECT_TRUE(s.filteredItems().isEmpty());
    s.clearFilters();
    EXPECT_EQ(s.query(), QStringLiteral("clip"));
    EXPECT_EQ(s.filteredItems().size(), 3);
    s.setRequiresOCRText(true);
    s.showAllClips();
    EXPECT_EQ(s.query(), QString());
    EXPECT_FALSE(s.requiresOCRText());
    EXPECT_EQ(s.filteredItems(), store->items());

    EXPECT_TRUE(CompactPanelState::looksLikeCode(QStringLiteral("{")));
    EXPECT_FALSE(CompactPanelState::looksLikeCode(QStringLiteral("}")));
    EXPECT_TRUE(CompactPanelState::looksLikeCode(QStringLiteral("a => b")));
}

} // namespace

namespace {

// A text too long to edit in place is not sent for a rewrite either: the catalogue's AI entry
// opens the editor on it, runs nothing and says why; Copy and Paste still have all of it.
TEST_F(CompactPanelStateTest, ATextTooLongToEditIsNotSentForARewrite)
{
    CompactPanelState& s = makeState(true);
    const QString longText(CompactPanelState::maximumEditableLength + 1, QLatin1Char('w'));
    s.runAIFromActions(AIAction::fixWriting(), clipAt(0), longText);
    ASSERT_EQ(s.mode(), CompactPanelMode::editor);
    EXPECT_TRUE(s.isDraftTooLongToEdit());
    EXPECT_TRUE(runs.isEmpty());
    EXPECT_EQ(s.editorStatus(), QStringLiteral("This text is too long to send for a rewrite."));
    EXPECT_TRUE(s.editorStatusIsError());
    EXPECT_FALSE(s.canRunAIInEditor());
    s.runAIInEditor(AIAction::draftReply());
    EXPECT_TRUE(runs.isEmpty());
    s.pasteEditedText();
    EXPECT_EQ(pastedTexts, QStringList{longText});

    // So is a short text of more lines than the views show.
    s.discardChanges();
    QString manyLines;
    for (qsizetype line = 0; line <= ShownText::lineLimit; ++line)
        manyLines += QStringLiteral("w\n");
    runs.clear();
    s.runAIFromActions(AIAction::fixWriting(), clipAt(0), manyLines);
    EXPECT_TRUE(s.isDraftTooLongToEdit());
    EXPECT_TRUE(runs.isEmpty());

    // A text at the bound is edited and rewritten as usual.
    s.discardChanges();
    const QString atBound(CompactPanelState::maximumEditableLength, QLatin1Char('w'));
    s.runAIFromActions(AIAction::fixWriting(), clipAt(0), atBound);
    EXPECT_FALSE(s.isDraftTooLongToEdit());
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs.first().input, atBound);
}

// A clip's summary line reads no further into its text than a line can show: a first character
// of 50,000 code points gives a bounded line, and a long text of ordinary characters reads as
// its whole text would.
TEST(CompactPanelSummaryTest, ReadsOnlyAsFarAsALineCanShow)
{
    const QString accents = QStringLiteral("e") + QString(49'999, QChar(0x0301));
    const QString summary = CompactPanelState::summary(ClipboardItem(QUuid::createUuid(), accents, now));
    EXPECT_TRUE(accents.startsWith(summary));
    EXPECT_GT(summary.size(), 500);
    EXPECT_LE(summary.size(), 1024);

    QString prose;
    while (prose.size() < 20'000)
        prose += QStringLiteral("the   quick\r\n brown fox ");
    EXPECT_EQ(CompactPanelState::summary(ClipboardItem(QUuid::createUuid(), prose, now)),
              ClipboardFormatter::singleLinePreview(prose, 74));
}

} // namespace
