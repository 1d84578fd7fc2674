// The compact panel offscreen, driven through the program's own key routing as a user would
// drive it, plus its key table and its placement under the pointer.
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactClipboardRow.h"
#include "Tolvi/compact/CompactResultList.h"

#include "tests/Tolvi/history/HistoryTestSupport.h"

#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/clipviews/HistoryStorageNotice.h"
#include "Tolvi/clipviews/PasteQueueNotice.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QPainter>
#include <QLineEdit>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cerrno>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;
using Focus = PanelKeyboardRouting::Focus;
using Controller = CompactClipboardPanelController;

TEST(CompactPanelKeys, TheKeyTableFollowsFocusModeAndModifiers)
{
    const auto results = CompactPanelMode::results;
    const auto actions = CompactPanelMode::actions;
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::ControlModifier, Focus::searchField, results, false),
              CompactKeyboardCommand::editSelectedClip);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::NoModifier, Focus::searchField, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::NoModifier, Focus::none, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::NoModifier, Focus::clipRow, actions, false),
              CompactKeyboardCommand::editSelectedClip);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Return, Qt::NoModifier, Focus::searchField, results, false),
              CompactKeyboardCommand::accept);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Enter, Qt::KeypadModifier, Focus::none, actions, false),
              CompactKeyboardCommand::accept);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Down, Qt::NoModifier, Focus::searchField, results, false),
              CompactKeyboardCommand::selectNextClip);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Up, Qt::NoModifier, Focus::none, actions, false),
              CompactKeyboardCommand::selectPreviousClip);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Space, Qt::NoModifier, Focus::clipRow, results, false),
              CompactKeyboardCommand::toggleClipPreview);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Space, Qt::NoModifier, Focus::searchField, results, false), std::nullopt);
    // Other chords, other controls, the editor and modal moments keep their keys.
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Return, Qt::ShiftModifier, Focus::none, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Down, Qt::AltModifier, Focus::searchField, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Space, Qt::ControlModifier, Focus::clipRow, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Return, Qt::NoModifier, Focus::otherControl, results, false), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::ControlModifier, Focus::otherControl, actions, false),
              CompactKeyboardCommand::editSelectedClip);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Return, Qt::NoModifier, Focus::searchField, results, true), std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_Return, Qt::NoModifier, Focus::none, CompactPanelMode::editor, false),
              std::nullopt);
    EXPECT_EQ(Controller::keyCommand(Qt::Key_E, Qt::ControlModifier, Focus::textEditor, actions, false), std::nullopt);
}

TEST(CompactPanelPlacement, UnderThePointerInsideTheUsableArea)
{
    const QRect screen(0, 0, 1440, 900);
    const QSize size(520, 300);
    // Centred under the pointer, its top 18 below it.
    EXPECT_EQ(Controller::placement({700, 200}, screen, size), QPoint(440, 218));
    // Near the right edge: 16 inside.
    EXPECT_EQ(Controller::placement({1430, 200}, screen, size), QPoint(1440 - 16 - 520, 218));
    // Near the bottom: above the pointer, its bottom 18 above it.
    EXPECT_EQ(Controller::placement({700, 880}, screen, size), QPoint(440, 880 - 18 - 300));
    // A second screen beside the first, with its own top offset.
    const QRect second(1440, 100, 1280, 800);
    EXPECT_EQ(Controller::placement({2000, 150}, second, size), QPoint(1740, 168));
    // Too narrow or too low for the margins: centred along that side.
    EXPECT_EQ(Controller::placement({10, 10}, QRect(0, 0, 540, 330), size), QPoint(10, 15));
}

TEST(CompactPanelPlacement, AGrownPanelIsKeptInsideTheUsableArea)
{
    const QRect screen(0, 28, 1440, 872);
    // Inside already: it stays where it is.
    EXPECT_EQ(Controller::keptInside(QRect(440, 218, 520, 420), screen), QPoint(440, 218));
    // Past the bottom: up until its bottom is 18 inside; past the top or a side: back in.
    EXPECT_EQ(Controller::keptInside(QRect(440, 600, 520, 420), screen), QPoint(440, 900 - 18 - 420));
    EXPECT_EQ(Controller::keptInside(QRect(440, 0, 520, 420), screen), QPoint(440, 28 + 18));
    EXPECT_EQ(Controller::keptInside(QRect(1200, 218, 520, 420), screen), QPoint(1440 - 16 - 520, 218));
    // Taller than the area with its margins: centred in it.
    EXPECT_EQ(Controller::keptInside(QRect(440, 600, 520, 860), QRect(0, 0, 1440, 880)), QPoint(440, 10));
}

// A history kept in memory whose writes can be made to fail, as on a full disk.
class FailableHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return state; }
    void save(const ClipboardHistoryState& saved) override
    {
        if (failSave)
            throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
        state = saved;
    }
    ClipboardHistoryState state{{}, DefaultPinboards::all()};
    bool failSave = false;
};

class CompactPanelWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
        configuration.maxItems.reset();
        store = std::make_unique<ClipboardStore>(history, configuration);
        int age = 10;
        for (const char* text : {"alpha older", "gamma", "beta", "alpha newest"})
            ASSERT_TRUE(store->record(QString::fromLatin1(text), now - age--));
        controller = std::make_unique<Controller>(dependencies());
    }

    Controller::Dependencies dependencies()
    {
        Controller::Dependencies dependencies{*store, FeatureFlags(TolviDistributionChannel::direct, false), usage,
                                              paste.service};
        dependencies.thumbnails = &thumbnails;
        dependencies.now = [] { return now; };
        dependencies.pointerPosition = [this] { return pointer; };
        dependencies.exportHistory = [this](QWidget* parent) { exportParents.append(parent); };
        dependencies.drafts = &drafts;
        return dependencies;
    }

    void TearDown() override { controller.reset(); }

    void open()
    {
        controller->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
        // The offscreen platform keeps its focus window across hiding, so a window shown again
        // is never reported active again; a window manager would report it.
        if (QApplication::activeWindow() != controller->panel())
            QApplication::setActiveWindow(controller->panel());
        QCoreApplication::processEvents();
    }

    void press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    CompactClipboardPanel& view() const { return *controller->view(); }
    CompactPanelState& state() const { return *controller->panelState(); }

    std::shared_ptr<FailableHistory> history = std::make_shared<FailableHistory>();
    std::unique_ptr<ClipboardStore> store;
    QPoint pointer{300, 200};
    QList<QWidget*> exportParents;
    QTemporaryDir dataFolder;
    UnsavedDrafts drafts{dataFolder.filePath(QStringLiteral("unsaved-drafts.json"))};
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<Controller> controller;
};

TEST_F(CompactPanelWidgetTest, TypingFiltersAndReturnThenPasteActionPastes)
{
    open();
    EXPECT_EQ(controller->panel()->windowTitle(), QStringLiteral("Tolvi Compact"));
    EXPECT_EQ(QApplication::focusWidget(), view().searchField());
    EXPECT_EQ(controller->panel()->height(), 58 * 4 + 74);
    QTest::keyClicks(view().searchField(), QStringLiteral("alpha"));
    EXPECT_EQ(view().resultModel().rowCount(), 2);
    EXPECT_EQ(view().resultModel().index(0).data(PanelKeyboardRouting::accessibilityIdentifierRole).toString(),
              QStringLiteral("tolvi.row.") + store->itemAt(0).id().toString(QUuid::WithoutBraces).toUpper());
    press(Qt::Key_Down);
    EXPECT_EQ(state().selectedItem()->content().textValue(), QStringLiteral("alpha older"));

    // Return opens the actions; the list takes focus, so E and Space reach the panel.
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    EXPECT_TRUE(view().isShowingActionList());
    EXPECT_EQ(QApplication::focusWidget(), view().actionList());
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Down);
    EXPECT_EQ(state().selectedActionID(), QStringLiteral("paste"));
    press(Qt::Key_Return);
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_EQ(paste.pastes, 1);
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(QStringLiteral("alpha older")));
    EXPECT_EQ(usage.count(UsageMetricEvent::pastePerformed), 1);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstPasteCompleted), 1);
}

TEST_F(CompactPanelWidgetTest, TheEditorKeepsItsDraftAcrossHidingAndAsksBeforeDroppingIt)
{
    open();
    press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_EQ(controller->panel()->height(), 420);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), view().editor());
    // Return types into the editor; Escape still goes to the panel.
    QTest::keyClicks(view().editor(), QStringLiteral(" draft"));
    press(Qt::Key_Return);
    EXPECT_EQ(state().draft().editedText, QStringLiteral("alpha newest draft\n"));
    EXPECT_TRUE(view().saveButton()->isEnabled());

    // The hot key hides the panel; the draft waits for the next showing.
    controller->toggle();
    EXPECT_FALSE(controller->isWindowVisible());
    open();
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_EQ(view().editor()->storedText(), QStringLiteral("alpha newest draft\n"));

    // Escape asks, in a window-modal box of the panel's own, opened without blocking.
    press(Qt::Key_Escape);
    QMessageBox* box = view().discardConfirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), controller->panel());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Discard unsaved changes?"));
    EXPECT_TRUE(controller->isModalInteractionActive());
    // Hiding the panel takes the question away and keeps the draft.
    controller->orderOut();
    EXPECT_FALSE(state().isDiscardConfirmationPresented());
    QCoreApplication::processEvents();
    EXPECT_EQ(view().discardConfirmation(), nullptr);
    open();
    press(Qt::Key_Escape);
    box = view().discardConfirmation();
    ASSERT_NE(box, nullptr);
    QPushButton* discard = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == QStringLiteral("Discard Changes"))
            discard = qobject_cast<QPushButton*>(button);
    }
    ASSERT_NE(discard, nullptr);
    discard->click();
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::actions);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("alpha newest"));
}

TEST_F(CompactPanelWidgetTest, EditorShortcutsSaveAndPaste)
{
    open();
    press(Qt::Key_E, Qt::ControlModifier);
    QCoreApplication::processEvents();
    view().editor()->selectAll();
    QTest::keyClicks(view().editor(), QStringLiteral("rewritten"));
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("rewritten"));
    EXPECT_FALSE(view().saveButton()->isEnabled());
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(QStringLiteral("rewritten")));
}

TEST_F(CompactPanelWidgetTest, EmptyStatesAndTheFilterMenu)
{
    open();
    QTest::keyClicks(view().searchField(), QStringLiteral("zzz"));
    EXPECT_FALSE(view().isShowingResultList());
    EXPECT_TRUE(view().noMatchesView()->isVisible());
    EXPECT_EQ(controller->panel()->height(), 236);

    QMenu* menu = view().makeFilterMenu(controller->panel());
    QAction* images = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Images"))
            images = action;
        EXPECT_NE(action->text(), QStringLiteral("Clear Filters"));
    }
    ASSERT_NE(images, nullptr);
    images->trigger();
    delete menu;
    EXPECT_EQ(view().filterButton()->accessibleName(), QStringLiteral("Filters active"));
    menu = view().makeFilterMenu(controller->panel());
    EXPECT_EQ(menu->actions().last()->text(), QStringLiteral("Clear Filters"));
    menu->actions().last()->trigger();
    delete menu;
    EXPECT_EQ(state().contentFilter(), ClipboardSearchContentFilter::all);
    EXPECT_EQ(state().query(), QStringLiteral("zzz"));

    ASSERT_NE(view().noMatchesView()->actionButton(), nullptr);
    view().noMatchesView()->actionButton()->click();
    EXPECT_EQ(view().searchField()->text(), QString());
    EXPECT_TRUE(view().isShowingResultList());

    store->clear();
    EXPECT_TRUE(view().resultsEmptyView()->isVisible());
}

TEST_F(CompactPanelWidgetTest, GrowingIntoActionsAndTheEditorNearTheScreenBottomStaysOnTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // No room under the pointer: the panel opens above it, its bottom 18 points above it.
    pointer = QPoint(area.center().x(), area.bottom() - 40);
    open();
    const QRect opened = controller->panel()->geometry();
    EXPECT_EQ(opened.height(), 58 * 4 + 74);
    EXPECT_EQ(opened.bottom() + 1, pointer.y() - 18);

    auto expectInside = [&](const char* when) {
        const QRect frame = controller->panel()->geometry();
        EXPECT_GE(frame.top(), area.top() + 18) << when;
        EXPECT_LE(frame.bottom() + 1, area.bottom() + 1 - 18) << when;
        EXPECT_GE(frame.left(), area.left() + 16) << when;
        EXPECT_LE(frame.right() + 1, area.right() + 1 - 16) << when;
    };
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    expectInside("actions");
    press(Qt::Key_E);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_EQ(controller->panel()->height(), 420);
    expectInside("editor");
    // It grew upward from where it opened: its bottom edge kept its place.
    EXPECT_EQ(controller->panel()->geometry().bottom(), opened.bottom());

    // A panel opened under the pointer grows downward until the area's edge stops it.
    controller->orderOut();
    state().requestLeaveEditor();
    state().showResults();
    pointer = QPoint(area.center().x(), area.top() + area.height() / 3);
    open();
    const int openedTop = controller->panel()->y();
    EXPECT_EQ(openedTop, pointer.y() + 18);
    press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    expectInside("editor under the pointer");
    EXPECT_EQ(controller->panel()->y(), std::min(openedTop, area.bottom() + 1 - 18 - 420));
}

TEST_F(CompactPanelWidgetTest, AFailedSaveOffersExportCopyInThePanel)
{
    open();
    history->failSave = true;
    ASSERT_TRUE(store->record(QStringLiteral("kept in memory"), now));
    ASSERT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    auto* notice = view().storageNoticePlace()->findChild<HistoryStorageNotice*>();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    ASSERT_NE(notice->exportButton(), nullptr);
    EXPECT_EQ(notice->exportButton()->text(), QStringLiteral("Export Copy\u2026"));
    EXPECT_TRUE(notice->exportButton()->isVisible());
    notice->exportButton()->click();
    // The export's dialogs belong over the compact panel.
    EXPECT_EQ(exportParents, QList<QWidget*>{controller->panel()});
}

// Every way a text can break its lines, and a no-break space: what the user does not touch comes
// back exactly so from Save and Paste, and typing a change back leaves nothing to discard.
TEST_F(CompactPanelWidgetTest, TheEditorGivesBackLineBreaksAndSpacesItWasNotAskedToChange)
{
    const QString stored = QStringLiteral("one\r\ntwo\rthree\u2028four\u2029five\u00A0six\nseven");
    ASSERT_TRUE(store->record(stored, now));
    open();
    press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), view().editor());
    EXPECT_EQ(state().draft().editedText, stored);

    // A change typed and taken back: nothing unsaved, so leaving asks nothing.
    press(Qt::Key_Exclam, Qt::ShiftModifier);
    EXPECT_EQ(state().draft().editedText, stored + QLatin1Char('!'));
    EXPECT_TRUE(view().saveButton()->isEnabled());
    press(Qt::Key_Backspace);
    EXPECT_EQ(state().draft().editedText, stored);
    EXPECT_FALSE(view().saveButton()->isEnabled());
    EXPECT_EQ(view().editorStatusLabel()->text(), QStringLiteral("33 chars"));
    press(Qt::Key_Escape);
    EXPECT_EQ(view().discardConfirmation(), nullptr);
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::actions);

    // An edit at the start: the rest of the text is saved and pasted as it was stored.
    press(Qt::Key_E);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    QCoreApplication::processEvents();
    view().editor()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(view().editor(), QStringLiteral(">> "));
    EXPECT_EQ(view().editorStatusLabel()->text(), QStringLiteral("36 chars, +3"));
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral(">> ") + stored);
    EXPECT_FALSE(view().saveButton()->isEnabled());
    // The Original tab shows the text as saved now.
    view().originalTabButton()->click();
    EXPECT_EQ(view().originalText()->storedText(), QStringLiteral(">> ") + stored);
    view().editedTabButton()->click();
    view().editor()->setFocus();
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(QStringLiteral(">> ") + stored));
}

// A history file can hold texts far beyond what can be captured. The editor lays none of such a
// text out (that would hold the program up for seconds): it says so, and Copy and Paste use the
// text whole.
class CompactPanelHugeClipTest : public CompactPanelWidgetTest {
protected:
    void SetUp() override
    {
        hugeText = QString(50'000'000, QLatin1Char('a')) + QStringLiteral("\r\nend\u00A0");
        history->state.items.append(ClipboardItem(QUuid::createUuid(), hugeText, now));
        CompactPanelWidgetTest::SetUp();
    }
    QString hugeText;
};

TEST_F(CompactPanelHugeClipTest, TheEditorSaysATextIsTooLongToEditAndStillCopiesAndPastesItWhole)
{
    ASSERT_EQ(store->itemAt(0).content().textValue().size(), 50'000'006);
    open();
    press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    QCoreApplication::processEvents();
    EXPECT_TRUE(state().isDraftTooLongToEdit());
    EXPECT_TRUE(view().longTextNote()->isVisible());
    EXPECT_FALSE(view().editor()->isVisible());
    EXPECT_LT(view().editor()->document()->characterCount(), 10);
    EXPECT_EQ(view().editorStatusLabel()->text(), QStringLiteral("Long text"));
    EXPECT_FALSE(view().saveButton()->isEnabled());
    view().originalTabButton()->click();
    EXPECT_TRUE(view().longTextNote()->isVisible());
    EXPECT_LT(view().originalText()->document()->characterCount(), 10);

    ASSERT_TRUE(view().copyButton()->isEnabled());
    paste.pasteboard.clear();
    view().copyButton()->click();
    // Encoded for the clipboard off the main thread: there once it is ready.
    ASSERT_TRUE(QTest::qWaitFor([&] { return paste.pasteboard.data(PasteboardTypes::plainText).has_value(); }, 30'000));
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(hugeText));
    paste.pasteboard.clear();
    view().pasteButton()->click();
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(hugeText));
    // Leaving asks nothing: nothing was changed.
    open();
    press(Qt::Key_Escape);
    EXPECT_EQ(view().discardConfirmation(), nullptr);
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::actions);

    // A text within the bound opens for editing as usual.
    press(Qt::Key_Escape);
    press(Qt::Key_Down);
    press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_FALSE(state().isDraftTooLongToEdit());
    EXPECT_EQ(view().editor()->storedText(), QStringLiteral("alpha newest"));
}

// Clicks the button of that title in the discard question once it is up.
void answerDiscardQuestion(CompactClipboardPanel& view, const QString& button)
{
    QTimer::singleShot(20, &view, [&view, button] {
        QMessageBox* box = view.discardConfirmation();
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == button)
                candidate->click();
        }
    });
}

TEST_F(CompactPanelWidgetTest, ALogoutAsksTheEditorsOwnQuestionAndAnEndWithoutOneKeepsTheDraftForTheNextStart)
{
    open();
    press(Qt::Key_E, Qt::ControlModifier);
    QCoreApplication::processEvents();
    QTest::keyClicks(view().editor(), QStringLiteral(" typed"));
    const QString typed = QStringLiteral("alpha newest typed");
    ASSERT_EQ(state().draft().editedText, typed);
    // Hidden meanwhile: the question brings the panel back in front.
    controller->orderOut();

    answerDiscardQuestion(view(), QStringLiteral("Keep Editing"));
    EXPECT_EQ(drafts.commitData([] { return true; }), UnsavedDrafts::CommitAnswer::cancel);
    EXPECT_TRUE(controller->isWindowVisible());
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_EQ(state().draft().editedText, typed);

    // The program is ended without a question: the text goes into the private file.
    ASSERT_TRUE(drafts.keep());
    const QUuid clip = store->itemAt(0).id();
    UnsavedDrafts nextRun(drafts.filePath());
    nextRun.recover();
    const UnsavedDraft kept{UnsavedDraft::compactEditor, clip, QStringLiteral("alpha newest"), typed};
    ASSERT_EQ(nextRun.recovered(), QList<UnsavedDraft>{kept});

    // "Discard Changes" lets the logout go on, and nothing is left to keep.
    answerDiscardQuestion(view(), QStringLiteral("Discard Changes"));
    EXPECT_EQ(drafts.commitData([] { return true; }), UnsavedDrafts::CommitAnswer::proceed);
    EXPECT_EQ(controller->panelMode(), CompactPanelMode::actions);
    ASSERT_TRUE(drafts.keep());
    EXPECT_FALSE(QFile::exists(drafts.filePath()));

    // The next start: a new panel takes the kept draft back into its editor, unsaved.
    controller.reset();
    Controller::Dependencies dependencies{*store, FeatureFlags(TolviDistributionChannel::direct, false), usage,
                                          paste.service};
    dependencies.pointerPosition = [this] { return pointer; };
    dependencies.drafts = &nextRun;
    controller = std::make_unique<Controller>(std::move(dependencies));
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller->isWindowVisible());
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_EQ(view().editor()->storedText(), typed);
    EXPECT_EQ(state().draft().originalText, QStringLiteral("alpha newest"));
    ASSERT_TRUE(view().saveButton()->isEnabled());
    view().saveButton()->click();
    EXPECT_EQ(store->item(clip)->content().textValue(), typed);
}

// ---- What the panel shows around its lists ---------------------------------------------

TEST_F(CompactPanelWidgetTest, ReturnHintAndTheNothingSelectedStateFollowTheSelection)
{
    open();
    ASSERT_TRUE(state().selectedItem());
    EXPECT_TRUE(view().returnHint()->isVisible());
    // Nothing matches, nothing is selected: Return would do nothing, so no hint.
    QTest::keyClicks(view().searchField(), QStringLiteral("zzz"));
    ASSERT_FALSE(state().selectedItem());
    EXPECT_FALSE(view().returnHint()->isVisible());
    view().searchField()->clear();
    ASSERT_TRUE(state().selectedItem());
    EXPECT_TRUE(view().returnHint()->isVisible());

    // The actions of a selected clip. The history is cleared while the clip is being edited:
    // back in the actions there is no clip any more, and they give way to "Nothing selected".
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    EXPECT_TRUE(view().isShowingActionList());
    EXPECT_TRUE(view().actionList()->isVisible());
    EXPECT_FALSE(view().actionsEmptyView()->isVisible());
    press(Qt::Key_E);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    store->clear();
    state().requestLeaveEditor();
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    ASSERT_FALSE(state().selectedItem());
    EXPECT_FALSE(view().actionList()->isVisible());
    EXPECT_TRUE(view().actionsEmptyView()->isVisible());
    EXPECT_EQ(view().actionsEmptyView()->title(), QStringLiteral("Nothing selected"));
}

// A hidden panel's results do not follow the copies made meanwhile; shown again, they do, with
// the selected clip kept.
TEST_F(CompactPanelWidgetTest, AHiddenPanelCatchesUpWhenItIsShownAgain)
{
    open();
    const QUuid beta = store->itemAt(1).id();
    state().setSelectedItemID(beta);
    controller->orderOut();
    ASSERT_TRUE(store->record(QStringLiteral("copied while hidden"), now + 1));
    store->remove(store->itemAt(3));
    EXPECT_EQ(view().resultModel().itemAt(0)->content().textValue(), QStringLiteral("alpha newest"));
    open();
    EXPECT_EQ(view().resultModel().itemAt(0)->content().textValue(), QStringLiteral("copied while hidden"));
    EXPECT_EQ(view().resultModel().rowOf(store->itemAt(3).id()), 3);
    EXPECT_EQ(state().selectedItem()->id(), beta);
}

TEST_F(CompactPanelWidgetTest, PasteQueueNoticeStaysOutOfTheEditorAndThePreview)
{
    ClipboardImage image(pngBytes(4, 3), QStringLiteral("public.png"), 4, 3);
    ASSERT_TRUE(store->record(ClipboardContent::image(image), now - 20));
    open();
    view().setPreviewFactory([](const ClipboardItem&, std::function<void()>, QWidget* parent) {
        auto* preview = new QWidget(parent);
        preview->show();
        return preview;
    });
    PasteQueueNotice* notice = view().queueNoticePlace()->findChild<PasteQueueNotice*>();
    ASSERT_NE(notice, nullptr);

    // An image and a text go one at a time: the second waits for "Paste Next".
    QList<ClipboardItem> both;
    for (const ClipboardItem& item : store->items()) {
        if (item.content().isImage() || item.content().textValue() == QStringLiteral("gamma"))
            both.append(item);
    }
    ASSERT_EQ(both.size(), 2);
    paste.service.pasteItems(both);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notice->band() == PasteQueueNotice::Band::waiting; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(notice->isVisible());

    // In the actions it stays; in the editor it goes.
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    EXPECT_TRUE(notice->isVisible());
    press(Qt::Key_E);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::editor);
    EXPECT_FALSE(notice->isVisible());
    state().requestLeaveEditor();
    state().showResults();
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::results);
    EXPECT_TRUE(notice->isVisible());

    // Under the full-size preview it goes too.
    ASSERT_TRUE(state().isPreviewAvailable());
    state().openPreview(*state().selectedItem());
    ASSERT_NE(view().previewOverlay(), nullptr);
    EXPECT_FALSE(notice->isVisible());
    state().closePreview();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::waiting);
}

TEST_F(CompactPanelWidgetTest, RecognitionRetryStandsAboveTheActionsAndOnlyImagesThatCanRetryOfferIt)
{
    QList<QUuid> retried;
    controller.reset();
    Controller::Dependencies withRetry = dependencies();
    withRetry.retryOCR = [&retried](const ClipboardItem& item) { retried.append(item.id()); };
    controller = std::make_unique<Controller>(std::move(withRetry));
    // Oldest first: an image whose text was read, then one that can be read again.
    ASSERT_TRUE(store->record(ClipboardContent::image(ClipboardImage(pngBytes(4, 3, 0xff112233), QStringLiteral("public.png"),
                                                                     4, 3, QStringLiteral("Receipt total"))),
                              now - 2));
    ASSERT_TRUE(store->record(ClipboardContent::image(ClipboardImage(pngBytes(4, 3, 0xff445566), QStringLiteral("public.png"),
                                                                     4, 3)),
                              now - 1));
    const ClipboardItem retryable = store->itemAt(0);
    const ClipboardItem recognised = store->itemAt(1);
    const ClipboardItem text = store->itemAt(2);
    ASSERT_TRUE(text.content().isText());
    open();

    // The row menu offers the retry on the image that can use it, and on no other row.
    auto menuFor = [&](const QUuid& id) -> QMenu* {
        int row = 0;
        while (row < state().filteredItems().size() && state().filteredItems().at(row).id() != id)
            ++row;
        EXPECT_LT(row, state().filteredItems().size());
        const QRect rect = view().resultList()->visualRect(view().resultModel().index(row));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(),
                                view().resultList()->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(view().resultList()->viewport(), &event);
        QMenu* shown = nullptr;
        for (QMenu* menu : view().findChildren<QMenu*>()) {
            if (menu->isVisible())
                shown = menu;
        }
        return shown;
    };
    EXPECT_EQ(menuFor(text.id()), nullptr);
    EXPECT_EQ(menuFor(recognised.id()), nullptr);
    QMenu* menu = menuFor(retryable.id());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), state().retryOCRTitle(retryable));
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(retried, QList<QUuid>{retryable.id()});

    // In the actions the retry button heads the list, above every section.
    state().setSelectedItemID(retryable.id());
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    QPushButton* retry = view().retryButton();
    ASSERT_TRUE(retry->isVisible());
    const QRect button(retry->mapTo(&view(), QPoint(0, 0)), retry->size());
    const QPoint listTop = view().actionList()->mapTo(&view(), QPoint(0, 0));
    EXPECT_LE(button.bottom(), listTop.y());
    retry->click();
    EXPECT_EQ(retried.size(), 2);

    // Not for an image whose text was read.
    state().showResults();
    state().setSelectedItemID(recognised.id());
    press(Qt::Key_Return);
    ASSERT_EQ(controller->panelMode(), CompactPanelMode::actions);
    EXPECT_FALSE(retry->isVisible());
    // The panel goes before the list its retries went to.
    controller.reset();
}

// With increased contrast the selected row is outlined in electric blue, two points wide, and
// the others in the muted colour.
TEST(CompactClipboardRowTest, IncreasedContrastOutlinesTheSelectedRowInBlue)
{
    const ClipboardItem item(QUuid::createUuid(), QStringLiteral("hello"), now - 60);
    auto paintRow = [&](bool selected, bool increasedContrast) {
        DesignContext context;
        context.appearance = ThemeAppearance::light;
        context.increasedContrast = increasedContrast;
        ClipRowInput input;
        input.isFocused = selected;
        QImage image(400, CompactClipboardRow::height(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        CompactClipboardRow::paint(painter, QRectF(image.rect()), item, 1, input, {}, now, context);
        return image;
    };
    auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) <= 10 && std::abs(a.green() - b.green()) <= 10
            && std::abs(a.blue() - b.blue()) <= 10;
    };
    DesignContext light;
    light.appearance = ThemeAppearance::light;
    const QColor blue = light.color(TolviDesign::ColorToken::electricBlue);
    const QColor muted = light.color(TolviDesign::ColorToken::muted);

    const QImage selected = paintRow(true, true);
    const int middle = selected.width() / 2;
    EXPECT_TRUE(near(selected.pixelColor(middle, 0), blue)) << selected.pixelColor(middle, 0).name().toStdString();
    EXPECT_TRUE(near(selected.pixelColor(middle, 1), blue)) << selected.pixelColor(middle, 1).name().toStdString();
    const QImage other = paintRow(false, true);
    EXPECT_TRUE(near(other.pixelColor(middle, 0), muted)) << other.pixelColor(middle, 0).name().toStdString();
    EXPECT_FALSE(near(other.pixelColor(middle, 1), muted));
    // Without it the selection is not outlined in blue.
    const QImage standard = paintRow(true, false);
    EXPECT_FALSE(near(standard.pixelColor(middle, 1), blue));
}

} // namespace
