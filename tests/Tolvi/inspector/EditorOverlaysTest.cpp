// The quick editor and the new-snippet editor against the real history store: the question
// before unsaved text goes, a clip that moves, changes or leaves the history while it is edited,
// text that must come back as it was, AI results that arrive late, and refused saves.
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/EditorOverlayParts.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/ai/AIResultDelivery.h"
#include "TolviCore/ai/AIServiceError.h"

#include "tests/Tolvi/history/HistoryTestSupport.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

QAbstractButton* buttonOf(QMessageBox* box, const QString& title)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

// Answers the open question with the button of that title.
void answer(QMessageBox* box, const QString& title)
{
    ASSERT_NE(box, nullptr);
    QAbstractButton* button = buttonOf(box, title);
    ASSERT_NE(button, nullptr) << title.toStdString();
    button->click();
}

void type(QPlainTextEdit* editor, const QString& text)
{
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, text);
}

bool statusIsFailure(QWidget* overlay)
{
    const auto lines = overlay->findChildren<EditorOverlayParts::StatusLine*>();
    return std::any_of(lines.cbegin(), lines.cend(), [](auto* line) { return line->isFailure(); });
}

// An error that says what a provider answered, word for word.
class ProviderMessage final : public AIError {
public:
    explicit ProviderMessage(QString text) : m_text(std::move(text)) {}
    QString errorDescription() const override { return m_text; }

private:
    QString m_text;
};

struct AIRequest {
    QString actionID;
    QString input;
    AICompletion deliver;
};

class QuickEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        host.resize(900, 700);
        host.show();
    }

    void TearDown() override { delete overlay.data(); }

    ClipTextEditorOverlay& open(const QString& text, bool showsAI = true)
    {
        EXPECT_TRUE(store->record(text, now));
        item = *store->item(store->items().first().id());
        ClipTextEditorOverlay::Actions actions;
        actions.saveText = [this](const ClipboardItem& clip, const QString& edited) {
            ++saves;
            return store->updateText(edited, clip);
        };
        actions.saveAsNewClip = [this](const QString& edited) { return store->record(edited, now + 1); };
        actions.pasteText = [this](const QString& edited) { pasted.append(edited); };
        actions.copyText = [this](const QString& edited) { copied.append(edited); };
        // Delivered as the AI service delivers: queued to the receiver, dropped once it is gone.
        actions.runAIAction = [this](const AIAction& action, const QString& input, QObject* receiver,
                                     std::function<void(AIResult)> done) {
            requests.append({action.id, input, deliverOnThread(receiver, std::move(done))});
        };
        actions.close = [this] { ++closes; };
        overlay = new ClipTextEditorOverlay(item, *store, std::move(actions), showsAI, &host, &host, [] { return now; });
        overlay->present();
        return *overlay;
    }

    void deliver(int index, AIResult result)
    {
        requests[index].deliver(std::move(result));
        QCoreApplication::processEvents();
    }

    QString storedText(const QUuid& id) const
    {
        const std::optional<ClipboardItem> clip = store->item(id);
        return clip ? clip->content().textValue() : QString();
    }

    std::unique_ptr<ClipboardStore> store;
    QWidget host;
    ClipboardItem item{QStringLiteral("unused")};
    QPointer<ClipTextEditorOverlay> overlay;
    int saves = 0;
    int closes = 0;
    QStringList pasted;
    QStringList copied;
    QList<AIRequest> requests;
};

} // namespace

TEST_F(QuickEditTest, AsksBeforeUnsavedTextIsThrownAway)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("Meeting at noon"));
    // Typing and deleting back leaves nothing unsaved: closing does not ask.
    type(editor.editor(), QStringLiteral("!"));
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("16 chars, +1"));
    QTest::keyClick(editor.editor(), Qt::Key_Backspace);
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("15 chars"));
    EXPECT_FALSE(editor.saveButton()->isEnabled());

    type(editor.editor(), QStringLiteral(" sharp"));
    // Every trigger raises the same question; "Keep Editing", or Escape in it, keeps the text.
    editor.closeButton()->click();
    ASSERT_NE(editor.openQuestion(), nullptr);
    answer(editor.openQuestion(), QStringLiteral("Keep Editing"));
    EXPECT_EQ(editor.openQuestion(), nullptr);
    QTest::mouseClick(&editor, Qt::LeftButton, {}, QPoint(4, 4));
    ASSERT_NE(editor.openQuestion(), nullptr);
    QTest::keyClick(editor.openQuestion(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.openQuestion() == nullptr; }));
    PanelCommandBus::shared().post(PanelKeyboardCommand::dismissHistoryOverlay, nullptr);
    ASSERT_NE(editor.openQuestion(), nullptr);
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("Meeting at noon sharp"));

    // Paste and copy never save: still asked. "Discard Changes" closes without saving.
    editor.paste();
    editor.copy();
    EXPECT_EQ(pasted, QStringList{QStringLiteral("Meeting at noon sharp")});
    answer(editor.openQuestion(), QStringLiteral("Discard Changes"));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(storedText(item.id()), QStringLiteral("Meeting at noon"));
}

TEST_F(QuickEditTest, SavesIntoTheClipAfterItWasRecordedAgain)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("alpha"));
    // Copying from the editor brings the text back as a new clip (the monitor records it).
    editor.copy();
    ASSERT_EQ(copied, QStringList{QStringLiteral("alpha")});
    ASSERT_TRUE(store->record(copied.first(), now + 5));
    const QUuid recorded = store->items().first().id();
    ASSERT_NE(recorded, item.id());
    EXPECT_EQ(editor.item().id(), recorded);
    EXPECT_FALSE(editor.isClipGone());

    type(editor.editor(), QStringLiteral(" beta"));
    editor.save();
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_EQ(storedText(recorded), QStringLiteral("alpha beta"));
    EXPECT_FALSE(editor.draft().hasUnsavedChanges());
    EXPECT_TRUE(editor.notice().isEmpty());
}

TEST_F(QuickEditTest, KeepsTheTextOfAClipThatLeftTheHistoryAsANewClip)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("draft contract"));
    type(editor.editor(), QStringLiteral(" v2"));
    store->remove(item);
    EXPECT_TRUE(editor.isClipGone());
    EXPECT_FALSE(editor.notice().isEmpty());
    EXPECT_EQ(editor.saveButton()->text(), QStringLiteral("Save as New Clip"));
    ASSERT_TRUE(editor.saveButton()->isEnabled());

    editor.saveButton()->click();
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("draft contract v2"));
    EXPECT_EQ(editor.item().id(), store->itemAt(0).id());
    EXPECT_FALSE(editor.isClipGone());
    EXPECT_FALSE(editor.saveButton()->isEnabled());
    editor.requestClose();
    EXPECT_EQ(closes, 1);
}

TEST_F(QuickEditTest, AsksBeforeReplacingTextChangedElsewhere)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("alpha"));
    type(editor.editor(), QStringLiteral("1"));
    ASSERT_TRUE(store->updateText(QStringLiteral("alpha from elsewhere"), item));
    EXPECT_TRUE(editor.isClipChangedElsewhere());
    EXPECT_FALSE(editor.notice().isEmpty());
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("alpha1"));

    editor.save();
    answer(editor.openQuestion(), QStringLiteral("Keep Editing"));
    EXPECT_EQ(storedText(item.id()), QStringLiteral("alpha from elsewhere"));
    editor.save();
    answer(editor.openQuestion(), QStringLiteral("Save as New Clip"));
    EXPECT_EQ(store->itemCount(), 2);
    EXPECT_EQ(storedText(item.id()), QStringLiteral("alpha from elsewhere"));
    EXPECT_EQ(storedText(editor.item().id()), QStringLiteral("alpha1"));

    // An editor with nothing typed shows the new text at once.
    ASSERT_TRUE(store->updateText(QStringLiteral("alpha2"), editor.item()));
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("alpha2"));
    EXPECT_EQ(editor.editor()->storedText(), QStringLiteral("alpha2"));
    EXPECT_FALSE(editor.draft().hasUnsavedChanges());
    type(editor.editor(), QStringLiteral("!"));
    ASSERT_TRUE(store->updateText(QStringLiteral("alpha3"), editor.item()));
    editor.save();
    answer(editor.openQuestion(), QStringLiteral("Replace"));
    EXPECT_EQ(storedText(editor.item().id()), QStringLiteral("alpha2!"));
}

TEST_F(QuickEditTest, LeavesUntouchedTextAsItWas)
{
    const QString text = QStringLiteral("Total:") + QChar(0x00A0) + QStringLiteral("42\r\nnext\rline") + QChar(0x2028)
        + QStringLiteral("end");
    ClipTextEditorOverlay& editor = open(text);
    EXPECT_FALSE(editor.draft().hasUnsavedChanges());
    EXPECT_FALSE(editor.saveButton()->isEnabled());
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("23 chars"));
    editor.requestClose();
    EXPECT_EQ(closes, 1);

    delete overlay.data();
    ClipTextEditorOverlay& again = open(text);
    type(again.editor(), QStringLiteral("!"));
    again.save();
    EXPECT_EQ(storedText(item.id()), text + QStringLiteral("!"));
    // The Original tab shows the saved text, copied as stored.
    again.setEditorTab(ClipTextEditorOverlay::TextEditorTab::original);
    EXPECT_EQ(again.originalView()->storedText(), text + QStringLiteral("!"));
}

TEST_F(QuickEditTest, AppliesAnAIResultOnlyToTheTextItWasAskedFor)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("teh report is done"));
    ASSERT_EQ(editor.aiButtons().size(), 2);
    editor.aiButtons().at(0)->click();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].actionID, AIAction::fixWriting().id);
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("Fixing writing..."));
    EXPECT_FALSE(editor.aiButtons().at(1)->isEnabled());
    EXPECT_TRUE(editor.copyButton()->isEnabled());
    EXPECT_TRUE(editor.pasteButton()->isEnabled());
    editor.runAI(AIAction::draftReply());
    EXPECT_EQ(requests.size(), 1);

    deliver(0, AIResult::success(QStringLiteral("The report is done.")));
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("The report is done."));
    EXPECT_EQ(editor.editor()->storedText(), QStringLiteral("The report is done."));
    EXPECT_EQ(editor.editorTab(), ClipTextEditorOverlay::TextEditorTab::edited);
    EXPECT_FALSE(editor.runningAIActionID());
    EXPECT_TRUE(editor.saveButton()->isEnabled());

    // A failure says why, in red.
    editor.runAI(AIAction::draftReply());
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("Drafting reply..."));
    deliver(1, AIResult::failure(std::make_shared<AIServiceError>(AIServiceError::Case::emptyOutput)));
    EXPECT_EQ(editor.editorStatus(), QStringLiteral("AI returned an empty result."));
    EXPECT_TRUE(statusIsFailure(&editor));
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("The report is done."));

    // Text typed while the request runs wins; the message stays while typing.
    editor.runAI(AIAction::fixWriting());
    type(editor.editor(), QStringLiteral(" Thanks"));
    deliver(2, AIResult::success(QStringLiteral("Something else.")));
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("The report is done. Thanks"));
    const QString stale = QStringLiteral("Your draft changed while the request was running. The result was not applied.");
    EXPECT_EQ(editor.editorStatus(), stale);
    type(editor.editor(), QStringLiteral("!"));
    EXPECT_EQ(editor.editorStatus(), stale);

    // A result that arrives after the editor closed is dropped; nothing is written anywhere.
    editor.runAI(AIAction::fixWriting());
    EXPECT_FALSE(editor.aiErrorMessage());
    editor.requestClose();
    answer(editor.openQuestion(), QStringLiteral("Discard Changes"));
    deliver(3, AIResult::success(QStringLiteral("Late.")));
    EXPECT_EQ(editor.draft().editedText, QStringLiteral("The report is done. Thanks!"));
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(storedText(item.id()), QStringLiteral("teh report is done"));

    // Once the editor is gone, its results are not even delivered; nor are they to a card its
    // host took away.
    ClipTextEditorOverlay& next = open(QStringLiteral("second clip"));
    next.runAI(AIAction::fixWriting());
    delete &editor;
    deliver(3, AIResult::success(QStringLiteral("Late again.")));
    next.endSession();
    deliver(4, AIResult::success(QStringLiteral("Taken away.")));
    EXPECT_EQ(next.draft().editedText, QStringLiteral("second clip"));
}

TEST_F(QuickEditTest, AProvidersMessageIsShownAsWrittenInTheStatusAndItsTooltip)
{
    // The provider's words reach the status line and its tooltip as plain text: markup and
    // ampersands read as written, neither interpreted nor shown as entities.
    ClipTextEditorOverlay& editor = open(QStringLiteral("some text"));
    const QStringList messages{QStringLiteral("Quota used up & retry later"),
                               QStringLiteral("<b>Quota</b> used up & <a href=\"x\">retry</a> later")};
    for (int i = 0; i < messages.size(); ++i) {
        const QString& message = messages[i];
        editor.runAI(AIAction::fixWriting());
        deliver(i, AIResult::failure(std::make_shared<ProviderMessage>(message)));
        EXPECT_EQ(editor.editorStatus(), message);
        const auto lines = editor.findChildren<EditorOverlayParts::StatusLine*>();
        const auto failed = std::find_if(lines.cbegin(), lines.cend(), [](auto* line) { return line->isFailure(); });
        ASSERT_NE(failed, lines.cend());
        EXPECT_EQ((*failed)->textFormat(), Qt::PlainText);
        EXPECT_EQ((*failed)->text(), message);
        const QString tip = (*failed)->toolTip();
        ASSERT_TRUE(Qt::mightBeRichText(tip)) << tip.toStdString();
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), message);
    }
}

TEST_F(QuickEditTest, WithoutAIControlsNoRequestStarts)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("plain"), false);
    for (QAbstractButton* button : editor.aiButtons())
        EXPECT_TRUE(button->isHidden());
    editor.runAI(AIAction::fixWriting());
    EXPECT_TRUE(requests.isEmpty());
}

TEST_F(QuickEditTest, ShowsWhyTheHistoryRefusedASave)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("short"));
    editor.editor()->moveCursor(QTextCursor::End);
    editor.editor()->insertPlainText(QString(50'001, QLatin1Char('y')));
    editor.save();
    EXPECT_EQ(saves, 1);
    ASSERT_TRUE(store->lastCaptureIssue());
    EXPECT_EQ(editor.notice(), *store->lastCaptureIssue());
    EXPECT_TRUE(editor.saveButton()->isEnabled());
    EXPECT_EQ(storedText(item.id()), QStringLiteral("short"));
    EXPECT_EQ(editor.draft().editedText.size(), 50'006);
    // The next edit takes the message away; the text stays.
    QTest::keyClick(editor.editor(), Qt::Key_Backspace);
    EXPECT_TRUE(editor.notice().isEmpty());
}

TEST_F(QuickEditTest, CodeIsShownMonospacedPerVersion)
{
    ClipTextEditorOverlay& editor = open(QStringLiteral("plain words"));
    EXPECT_FALSE(editor.editor()->isMonospaced());
    type(editor.editor(), QStringLiteral(" {"));
    EXPECT_TRUE(editor.editor()->isMonospaced());
    editor.setEditorTab(ClipTextEditorOverlay::TextEditorTab::original);
    EXPECT_FALSE(editor.originalView()->isMonospaced());
}

// ---- New snippet ------------------------------------------------------------------------

namespace {

class NewSnippetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        host.resize(900, 700);
        host.show();
        NewSnippetOverlay::Actions actions;
        actions.saveSnippet = [this](const QString& text) {
            events.append(QStringLiteral("save"));
            return store->record(text, now);
        };
        actions.pasteText = [this](const QString& text) { events.append(QStringLiteral("paste ") + text); };
        actions.copyText = [this](const QString& text) { events.append(QStringLiteral("copy ") + text); };
        actions.close = [this] { events.append(QStringLiteral("close")); };
        overlay = new NewSnippetOverlay(std::move(actions), &host, &host);
        overlay->present();
    }

    void TearDown() override { delete overlay.data(); }

    std::unique_ptr<ClipboardStore> store;
    QWidget host;
    QPointer<NewSnippetOverlay> overlay;
    QStringList events;
};

} // namespace

TEST_F(NewSnippetTest, BlankTextCannotBeUsedAndClosesWithoutAsking)
{
    EXPECT_EQ(overlay->statusText(), QStringLiteral("0 chars"));
    type(overlay->editor(), QStringLiteral("   "));
    EXPECT_EQ(overlay->statusText(), QStringLiteral("3 chars"));
    for (QAbstractButton* button : {overlay->saveButton(), overlay->copyButton(), overlay->saveAndPasteButton()})
        EXPECT_FALSE(button->isEnabled());
    PanelCommandBus::shared().post(PanelKeyboardCommand::dismissHistoryOverlay, nullptr);
    EXPECT_EQ(events, QStringList{QStringLiteral("close")});
}

TEST_F(NewSnippetTest, SavesCopiesAndPastesBehindTheQuestion)
{
    overlay->editor()->insertPlainText(QStringLiteral("Kind regards,\nAda"));
    overlay->copyButton()->click();
    overlay->closeButton()->click();
    answer(overlay->openQuestion(), QStringLiteral("Keep Editing"));
    EXPECT_EQ(events, QStringList{QStringLiteral("copy Kind regards,\nAda")});
    EXPECT_EQ(overlay->text(), QStringLiteral("Kind regards,\nAda"));

    overlay->saveAndPasteButton()->click();
    EXPECT_EQ(events, (QStringList{QStringLiteral("copy Kind regards,\nAda"), QStringLiteral("save"),
                                   QStringLiteral("paste Kind regards,\nAda"), QStringLiteral("close")}));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("Kind regards,\nAda"));
}

TEST_F(NewSnippetTest, ARefusedSaveSaysSoAndNeitherPastesNorCloses)
{
    overlay->editor()->insertPlainText(QString(50'001, QLatin1Char('z')));
    overlay->saveAndPaste();
    EXPECT_EQ(overlay->statusText(), QStringLiteral("Snippet could not be saved."));
    EXPECT_TRUE(statusIsFailure(overlay));
    overlay->save();
    EXPECT_EQ(events, (QStringList{QStringLiteral("save"), QStringLiteral("save")}));
    EXPECT_EQ(store->itemCount(), 0);
    QTest::keyClick(overlay->editor(), Qt::Key_Backspace);
    EXPECT_EQ(overlay->statusText(), QStringLiteral("50000 chars"));
    EXPECT_FALSE(statusIsFailure(overlay));
    overlay->save();
    EXPECT_EQ(events.last(), QStringLiteral("close"));
    EXPECT_EQ(store->itemCount(), 1);
}
