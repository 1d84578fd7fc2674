// The board sheet against the real store: its rules and messages, and how it behaves while a
// change of a large history is being written.
#include "BoardSheetTestSupport.h"

#include "../history/HistoryTestSupport.h"

#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

const QString nameMessage = QStringLiteral("Enter a board name between 1 and 80 characters.");
const QString duplicateMessage = QStringLiteral("A board with that name already exists.");

class BoardManagementViewTest : public ::testing::Test {
protected:
    void SetUp() override { start(makeMemoryStore()); }

    void start(std::unique_ptr<ClipboardStore> made)
    {
        sheet.reset();
        store = std::move(made);
        TolviWindowAppearance::attach(&panel, &theme);
        theme.accessibility().setReduceMotion(true);
        sheet = std::make_unique<BoardManagementView>(*store, &panel);
        panel.resize(620, 520);
        sheet->resize(620, 520);
        sheet->show();
        panel.show();
        panel.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        // The sheet gives its new board's field the keyboard once it is on screen.
        ASSERT_TRUE(eventually([this] { return sheet->newNameField()->hasFocus(); }));
        finished = std::make_unique<QSignalSpy>(sheet.get(), &BoardManagementView::finished);
    }

    void TearDown() override
    {
        if (slow)
            slow->release();
        sheet.reset();
        store.reset();
    }

    void useSlowHistory()
    {
        slow = std::make_shared<GatedPersistence>();
        ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
        configuration.maxItems.reset();
        start(std::make_unique<ClipboardStore>(slow, configuration));
    }

    // Waits for the sheet's write, if any, to be done.
    void settle() { ASSERT_TRUE(eventually([this] { return !sheet->isBusy(); })); }

    void createBoard(const QString& name)
    {
        typeInto(sheet->newNameField(), name);
        QTest::keyClick(sheet->newNameField(), Qt::Key_Return);
        settle();
    }

    QStringList boardNames() const
    {
        QStringList names;
        for (const Pinboard& board : store->pinboards())
            names.append(board.name());
        return names;
    }

    QString shownError() const
    {
        return sheet->errorLabel()->isVisibleTo(sheet.get()) ? sheet->errorLabel()->text() : QString();
    }

    TolviTheme theme;
    QWidget panel;
    std::shared_ptr<GatedPersistence> slow;
    std::unique_ptr<ClipboardStore> store;
    std::unique_ptr<BoardManagementView> sheet;
    std::unique_ptr<QSignalSpy> finished;
};

} // namespace

TEST_F(BoardManagementViewTest, CreatingFollowsTheStoresNameRulesAndShowsItsMessages)
{
    QLineEdit* field = sheet->newNameField();

    // Empty: the button is off, Return still asks the store.
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(shownError(), nameMessage);
    EXPECT_EQ(sheet->error(), nameMessage);
    EXPECT_EQ(store->pinboards().size(), 4);

    typeInto(field, QStringLiteral("   "));
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    EXPECT_TRUE(sheet->hasUnsavedChanges());

    // Blanks around a word: the word alone, the field emptied, the message gone.
    typeInto(field, QStringLiteral("  Projects  "));
    ASSERT_TRUE(sheet->addButton()->isEnabled());
    sheet->addButton()->click();
    settle();
    EXPECT_EQ(boardNames().last(), QStringLiteral("Projects"));
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(sheet->error(), std::nullopt);
    EXPECT_FALSE(sheet->errorLabel()->isVisibleTo(sheet.get()));
    ASSERT_EQ(sheet->rowCount(), 5);
    EXPECT_EQ(sheet->row(4)->nameField()->text(), QStringLiteral("Projects"));

    // Refusals keep the typed name.
    const struct {
        QString name;
        QString message;
    } refused[] = {
        {QString(81, QLatin1Char('n')), nameMessage},
        {QStringLiteral("two\twords"), nameMessage},
        {QStringLiteral("projects"), duplicateMessage},
        {QStringLiteral("  WORK "), duplicateMessage},
        {QStringLiteral("C\u00f3de"), duplicateMessage},
    };
    for (const auto& attempt : refused) {
        field->setText(attempt.name);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(shownError(), attempt.message) << attempt.name.toStdString();
        EXPECT_EQ(field->text(), attempt.name);
    }
    EXPECT_EQ(store->pinboards().size(), 5);
    createBoard(QString(80, QLatin1Char('n')));
    EXPECT_EQ(store->pinboards().size(), 6);
    EXPECT_EQ(sheet->error(), std::nullopt);
}

TEST_F(BoardManagementViewTest, RowsSaveTheirTypedNameAndKnowWhenItIsUnsaved)
{
    BoardRowEditor* work = sheet->row(0);
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->nameField()->text(), QStringLiteral("Work"));
    EXPECT_FALSE(work->saveButton()->isEnabled());

    // Typed, then the stored text restored exactly: nothing unsaved; with a blank: still unsaved.
    typeInto(work->nameField(), QStringLiteral("Wor"));
    EXPECT_TRUE(work->saveButton()->isEnabled());
    EXPECT_TRUE(sheet->hasUnsavedChanges());
    typeInto(work->nameField(), QStringLiteral("Work"));
    EXPECT_FALSE(work->saveButton()->isEnabled());
    EXPECT_FALSE(sheet->hasUnsavedChanges());
    typeInto(work->nameField(), QStringLiteral("Work "));
    EXPECT_TRUE(work->saveButton()->isEnabled());

    // Saved with blanks: the store keeps the trimmed name, the row keeps what was typed.
    typeInto(work->nameField(), QStringLiteral(" Office "));
    work->saveButton()->click();
    settle();
    EXPECT_EQ(boardNames().first(), QStringLiteral("Office"));
    EXPECT_EQ(sheet->row(0), work);
    EXPECT_EQ(work->nameField()->text(), QStringLiteral(" Office "));
    EXPECT_TRUE(work->saveButton()->isEnabled());
    EXPECT_TRUE(sheet->hasUnsavedChanges());
    EXPECT_EQ(work->removeButton()->accessibleName(), QStringLiteral("Remove Office board"));
    typeInto(work->nameField(), QStringLiteral("Office"));
    EXPECT_FALSE(sheet->hasUnsavedChanges());

    // Its own name in other letters is fine; another board's name is not, and Return saves too.
    typeInto(work->nameField(), QStringLiteral("OFFICE"));
    QTest::keyClick(work->nameField(), Qt::Key_Return);
    settle();
    EXPECT_EQ(boardNames().first(), QStringLiteral("OFFICE"));
    BoardRowEditor* code = sheet->row(1);
    typeInto(code->nameField(), QStringLiteral("personal"));
    code->saveButton()->click();
    settle();
    EXPECT_EQ(shownError(), duplicateMessage);
    EXPECT_EQ(code->nameField()->text(), QStringLiteral("personal"));
    EXPECT_EQ(boardNames()[1], QStringLiteral("Code"));
    typeInto(code->nameField(), QString());
    QTest::keyClick(code->nameField(), Qt::Key_Return);
    EXPECT_EQ(shownError(), nameMessage);
    // The next success clears the message.
    typeInto(code->nameField(), QStringLiteral("Snippets"));
    code->saveButton()->click();
    settle();
    EXPECT_EQ(sheet->error(), std::nullopt);
    EXPECT_EQ(boardNames()[1], QStringLiteral("Snippets"));
}

TEST_F(BoardManagementViewTest, ArrowsMoveABoardOneStepAndStopAtTheEnds)
{
    ASSERT_EQ(sheet->rowCount(), 4);
    EXPECT_FALSE(sheet->row(0)->upButton()->isEnabled());
    EXPECT_TRUE(sheet->row(0)->downButton()->isEnabled());
    EXPECT_TRUE(sheet->row(3)->upButton()->isEnabled());
    EXPECT_FALSE(sheet->row(3)->downButton()->isEnabled());

    // A typed name moves with its board, and so does its row's editor (with the keyboard).
    BoardRowEditor* work = sheet->row(0);
    typeInto(work->nameField(), QStringLiteral("Desk"));
    work->downButton()->setFocus();
    QTest::keyClick(work->downButton(), Qt::Key_Space);
    settle();
    QApplication::processEvents();
    EXPECT_EQ(sheet->row(1), work);
    EXPECT_TRUE(work->downButton()->hasFocus());
    EXPECT_LT(sheet->row(0)->geometry().bottom(), work->geometry().top());
    EXPECT_EQ(boardNames(), (QStringList{QStringLiteral("Code"), QStringLiteral("Work"), QStringLiteral("Screenshots"),
                                         QStringLiteral("Personal")}));
    EXPECT_EQ(sheet->row(1)->nameField()->text(), QStringLiteral("Desk"));
    EXPECT_EQ(sheet->row(0)->nameField()->text(), QStringLiteral("Code"));
    EXPECT_FALSE(sheet->row(0)->upButton()->isEnabled());
    EXPECT_EQ(sheet->row(1)->upButton()->accessibleName(), QStringLiteral("Move Work up"));
    sheet->row(3)->upButton()->click();
    settle();
    EXPECT_EQ(boardNames().last(), QStringLiteral("Screenshots"));

    // One board left: neither arrow moves it.
    for (const QUuid& id : {DefaultPinboards::workID(), DefaultPinboards::codeID(), DefaultPinboards::personalID()})
        store->deletePinboard(id);
    ASSERT_EQ(sheet->rowCount(), 1);
    EXPECT_FALSE(sheet->row(0)->upButton()->isEnabled());
    EXPECT_FALSE(sheet->row(0)->downButton()->isEnabled());
}

TEST_F(BoardManagementViewTest, RemovingAsksFirstAndKeepsTheBoardsClips)
{
    createBoard(QStringLiteral("R&D <b>team</b>"));
    ASSERT_TRUE(store->record(QStringLiteral("filed clip"), 1));
    const Pinboard board = store->pinboards().last();
    store->togglePinboard(board, store->itemAt(0));
    BoardRowEditor* row = sheet->row(4);
    ASSERT_NE(row, nullptr);
    // Board names are plain text everywhere.
    EXPECT_EQ(row->nameField()->text(), QStringLiteral("R&D <b>team</b>"));
    EXPECT_EQ(row->removeButton()->accessibleName(), QStringLiteral("Remove R&D <b>team</b> board"));
    typeInto(row->nameField(), QStringLiteral("Lab"));

    row->removeButton()->click();
    QMessageBox* box = sheet->confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->parentWidget(), &panel);
    EXPECT_EQ(box->text(), QStringLiteral("Remove board? Its clips will stay in history."));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    ASSERT_NE(dialogButton(box, QStringLiteral("Remove R&&D <b>team</b>")), nullptr);
    dialogButton(box, QStringLiteral("Cancel"))->click();
    ASSERT_TRUE(eventually([this] { return !sheet->confirmation(); }));
    EXPECT_EQ(store->pinboards().size(), 5);

    row->removeButton()->click();
    dialogButton(sheet->confirmation(), QStringLiteral("Remove R&&D <b>team</b>"))->click();
    settle();
    EXPECT_EQ(boardNames(), (QStringList{QStringLiteral("Work"), QStringLiteral("Code"), QStringLiteral("Screenshots"),
                                         QStringLiteral("Personal")}));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_TRUE(store->itemAt(0).pinboardIDs().isEmpty());
    EXPECT_TRUE(store->itemAt(0).isPinned());
    // The name typed for the removed board no longer counts.
    EXPECT_FALSE(sheet->hasUnsavedChanges());
    sheet->requestClose();
    EXPECT_EQ(finished->count(), 1);
    EXPECT_EQ(sheet->confirmation(), nullptr);

    // A default board goes like any other.
    sheet->row(2)->removeButton()->click();
    dialogButton(sheet->confirmation(), QStringLiteral("Remove Screenshots"))->click();
    settle();
    EXPECT_FALSE(boardNames().contains(QStringLiteral("Screenshots")));
}

TEST_F(BoardManagementViewTest, DoneAsksBeforeUnsavedNamesAreDropped)
{
    sheet->doneButton()->click();
    EXPECT_EQ(finished->count(), 1);
    EXPECT_EQ(sheet->confirmation(), nullptr);

    typeInto(sheet->row(1)->nameField(), QStringLiteral("Snippets"));
    sheet->newNameField()->setText(QStringLiteral("Later"));
    // A click beside the sheet does not close it while names are unsaved.
    sheet->requestInteractiveDismissal();
    EXPECT_EQ(finished->count(), 1);
    sheet->requestClose();
    QMessageBox* box = sheet->confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Discard unsaved board names?"));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    dialogButton(box, QStringLiteral("Keep Editing"))->click();
    ASSERT_TRUE(eventually([this] { return !sheet->confirmation(); }));
    EXPECT_EQ(finished->count(), 1);
    EXPECT_EQ(sheet->row(1)->nameField()->text(), QStringLiteral("Snippets"));
    EXPECT_EQ(sheet->newNameField()->text(), QStringLiteral("Later"));

    sheet->requestClose();
    dialogButton(sheet->confirmation(), QStringLiteral("Discard Changes"))->click();
    ASSERT_TRUE(eventually([this] { return finished->count() == 2; }));
    EXPECT_EQ(boardNames()[1], QStringLiteral("Code"));
    EXPECT_EQ(store->pinboards().size(), 4);
}

// ---- While a change is written ------------------------------------------------------------

TEST_F(BoardManagementViewTest, WhileAChangeIsWrittenTheSheetShowsItAndTakesNoOther)
{
    useSlowHistory();
    slow->hold();
    BoardRowEditor* work = sheet->row(0);
    typeInto(work->nameField(), QStringLiteral("Office"));
    // From the keyboard: Tab to "Save", Space.
    work->saveButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(work->saveButton(), Qt::Key_Space);
    ASSERT_TRUE(eventually([this] { return slow->startedWrites() == 1; }));

    EXPECT_TRUE(sheet->isBusy());
    EXPECT_TRUE(sheet->savingLabel()->isVisibleTo(sheet.get()));
    EXPECT_EQ(boardNames().first(), QStringLiteral("Work"));
    EXPECT_FALSE(sheet->doneButton()->isEnabled());
    EXPECT_FALSE(work->saveButton()->isEnabled());
    EXPECT_FALSE(sheet->row(1)->upButton()->isEnabled());
    EXPECT_FALSE(sheet->row(1)->removeButton()->isEnabled());
    // The clicked button went dark: the keyboard waits on the sheet, not on the next control.
    EXPECT_TRUE(sheet->hasFocus());

    // No second change: neither from a field's Return nor from a close request.
    typeInto(sheet->newNameField(), QStringLiteral("Projects"));
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    QTest::keyClick(sheet->newNameField(), Qt::Key_Return);
    sheet->requestClose();
    QApplication::processEvents();
    EXPECT_EQ(slow->startedWrites(), 1);
    EXPECT_EQ(finished->count(), 0);
    EXPECT_EQ(sheet->confirmation(), nullptr);

    // A clip copied meanwhile is kept, and saved after the change.
    ASSERT_TRUE(store->record(QStringLiteral("copied during the write"), 5));

    slow->release();
    settle();
    EXPECT_FALSE(sheet->savingLabel()->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->error(), std::nullopt);
    EXPECT_EQ(boardNames().first(), QStringLiteral("Office"));
    EXPECT_TRUE(sheet->doneButton()->isEnabled());
    EXPECT_TRUE(sheet->addButton()->isEnabled());
    ASSERT_TRUE(eventually([this] { return slow->startedWrites() == 2; }));
    EXPECT_EQ(slow->stored().pinboards.first().name(), QStringLiteral("Office"));
    ASSERT_EQ(slow->stored().items.size(), 1);
    EXPECT_EQ(slow->stored().items.first().content().textValue(), QStringLiteral("copied during the write"));
    // The new board's name typed meanwhile is still there to be added, and the keyboard stays
    // where the user put it.
    EXPECT_EQ(sheet->newNameField()->text(), QStringLiteral("Projects"));
    EXPECT_TRUE(sheet->newNameField()->hasFocus());
}

TEST_F(BoardManagementViewTest, AFailedWriteShowsItsErrorAndKeepsTheBoards)
{
    useSlowHistory();
    slow->failNextWrite();
    sheet->row(0)->downButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(sheet->row(0)->downButton(), Qt::Key_Space);
    settle();
    EXPECT_EQ(shownError(), PersistenceError::system(ENOSPC, QStringLiteral("write")).message());
    EXPECT_EQ(boardNames(), (QStringList{QStringLiteral("Work"), QStringLiteral("Code"), QStringLiteral("Screenshots"),
                                         QStringLiteral("Personal")}));
    EXPECT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    // The keyboard comes back to the arrow that was used.
    EXPECT_TRUE(sheet->row(0)->downButton()->hasFocus());

    // Until the history is written again, changes are refused with the store's message.
    createBoard(QStringLiteral("Projects"));
    EXPECT_EQ(shownError(), QStringLiteral("Resolve the history storage error before importing or editing boards."));
    EXPECT_EQ(sheet->newNameField()->text(), QStringLiteral("Projects"));
    store->retryStorage();
    createBoard(QStringLiteral("Projects"));
    EXPECT_EQ(sheet->error(), std::nullopt);
    EXPECT_EQ(boardNames().last(), QStringLiteral("Projects"));
}
