// Typed text kept when the program ends: the private file, the next run handing each draft back
// to its editor, and the session manager's commit-data request answered by the editors' own
// questions.
#include "Tolvi/shell/UnsavedDrafts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

using namespace tolvi;

namespace {

// An editor of the test: holds `text` unsaved while it is set, and answers its question with
// `dropsOnQuestion` a little later, as a window's question would.
struct FakeEditor {
    QObject owner;
    QString kind = UnsavedDraft::compactEditor;
    std::optional<UnsavedDraft> text;
    std::optional<bool> dropsOnQuestion;
    int questions = 0;
    QList<UnsavedDraft> offered;

    UnsavedDrafts::Editor editor()
    {
        UnsavedDrafts::Editor made;
        made.kind = kind;
        made.unsaved = [this] { return text; };
        made.askToDiscard = [this](std::function<void(bool)> answered) {
            ++questions;
            if (!dropsOnQuestion)
                return; // never answered: the owner goes away instead
            QTimer::singleShot(5, &owner, [this, answered] {
                if (*dropsOnQuestion)
                    text.reset();
                answered(*dropsOnQuestion);
            });
        };
        made.offer = [this](const UnsavedDraft& draft) { offered.append(draft); };
        return made;
    }
};

UnsavedDraft compactDraft()
{
    return UnsavedDraft{UnsavedDraft::compactEditor, QUuid::createUuid(),
                        QStringLiteral("line one\r\nline\u00A0two\u2028"),
                        QStringLiteral("line one\r\nline\u00A0two\u2028 and more")};
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 07777;
}

TEST(UnsavedDrafts, TypedTextIsKeptInAPrivateFileAndHandedBackToItsEditorAtTheNextStart)
{
    QTemporaryDir home;
    const QString path = UnsavedDrafts::filePathBeside(home.filePath(QStringLiteral("data/Tolvi/history.json")));
    EXPECT_EQ(path, home.filePath(QStringLiteral("data/Tolvi/unsaved-drafts.json")));

    const UnsavedDraft typed = compactDraft();
    UnsavedDraft snippet{UnsavedDraft::newSnippet, std::nullopt, QString(), QStringLiteral("a snippet \u202E")};
    {
        UnsavedDrafts drafts(path);
        FakeEditor compact, idle, newSnippet;
        compact.text = typed;
        newSnippet.kind = UnsavedDraft::newSnippet;
        newSnippet.text = snippet;
        drafts.add(&compact.owner, compact.editor());
        drafts.add(&idle.owner, idle.editor());
        drafts.add(&newSnippet.owner, newSnippet.editor());
        ASSERT_TRUE(drafts.keep());
    }
    ASSERT_TRUE(QFile::exists(path));
    // Only its owner may read it, in a folder only its owner may enter.
    EXPECT_EQ(modeOf(path), mode_t(0600));
    EXPECT_EQ(modeOf(home.filePath(QStringLiteral("data/Tolvi"))) & 077, mode_t(0));

    UnsavedDrafts next(path);
    next.recover();
    ASSERT_EQ(next.recovered(), (QList<UnsavedDraft>{typed, snippet}));
    EXPECT_TRUE(next.hasRecovered(UnsavedDraft::compactEditor));
    EXPECT_FALSE(next.hasRecovered(UnsavedDraft::quickEdit));

    // Each editor takes its own draft once it joins and the event loop turns.
    FakeEditor compact;
    next.add(&compact.owner, compact.editor());
    EXPECT_TRUE(compact.offered.isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(compact.offered, QList<UnsavedDraft>{typed});
    // The snippet's draft waits in the file for its editor.
    EXPECT_TRUE(QFile::exists(path));
    FakeEditor newSnippet;
    newSnippet.kind = UnsavedDraft::newSnippet;
    next.add(&newSnippet.owner, newSnippet.editor());
    QCoreApplication::processEvents();
    EXPECT_EQ(newSnippet.offered, QList<UnsavedDraft>{snippet});
    // Every draft is back in its editor and none holds it unsaved: the file is gone.
    EXPECT_FALSE(QFile::exists(path));
}

TEST(UnsavedDrafts, AFileThatCannotBeUnderstoodIsLeftAlone)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("unsaved-drafts.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"version\":1,\"drafts\":[{\"editor\":\"compact\"");
    file.close();
    UnsavedDrafts drafts(path);
    drafts.recover();
    EXPECT_TRUE(drafts.recovered().isEmpty());
    EXPECT_TRUE(QFile::exists(path));
}

TEST(UnsavedDrafts, ALogoutThatMayNotAskKeepsTheTextAndGoesOn)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("unsaved-drafts.json"));
    UnsavedDrafts drafts(path);
    FakeEditor editor;
    editor.text = compactDraft();
    drafts.add(&editor.owner, editor.editor());
    EXPECT_EQ(drafts.commitData([] { return false; }), UnsavedDrafts::CommitAnswer::proceed);
    EXPECT_EQ(editor.questions, 0);
    UnsavedDrafts next(path);
    next.recover();
    EXPECT_EQ(next.recovered(), QList<UnsavedDraft>{*editor.text});
}

TEST(UnsavedDrafts, ALogoutThatMayAskLetsEachEditorAskItsOwnQuestion)
{
    UnsavedDrafts drafts;
    FakeEditor first, second, untouched;
    first.text = compactDraft();
    second.kind = UnsavedDraft::quickEdit;
    second.text = compactDraft();
    drafts.add(&first.owner, first.editor());
    drafts.add(&second.owner, second.editor());
    drafts.add(&untouched.owner, untouched.editor());
    int permissionAsked = 0;
    auto mayAsk = [&permissionAsked] {
        ++permissionAsked;
        return true;
    };

    // "Keep Editing" in the second editor cancels the logout.
    first.dropsOnQuestion = true;
    second.dropsOnQuestion = false;
    EXPECT_EQ(drafts.commitData(mayAsk), UnsavedDrafts::CommitAnswer::cancel);
    EXPECT_EQ(first.questions, 1);
    EXPECT_EQ(second.questions, 1);
    EXPECT_EQ(untouched.questions, 0);
    EXPECT_FALSE(first.text.has_value());
    EXPECT_TRUE(second.text.has_value());

    // Dropping it lets the logout go on; nothing unsaved asks nothing and needs no permission.
    second.dropsOnQuestion = true;
    EXPECT_EQ(drafts.commitData(mayAsk), UnsavedDrafts::CommitAnswer::proceed);
    EXPECT_EQ(first.questions, 1);
    EXPECT_EQ(second.questions, 2);
    EXPECT_EQ(permissionAsked, 2);
    EXPECT_EQ(drafts.commitData(mayAsk), UnsavedDrafts::CommitAnswer::proceed);
    EXPECT_EQ(permissionAsked, 2);
}

TEST(UnsavedDrafts, AnEditorThatGoesAwayWhileAskingDoesNotHoldTheLogout)
{
    UnsavedDrafts drafts;
    auto editor = std::make_unique<FakeEditor>();
    editor->text = compactDraft();
    drafts.add(&editor->owner, editor->editor());
    QTimer::singleShot(5, [&editor] { editor.reset(); });
    EXPECT_EQ(drafts.commitData([] { return true; }), UnsavedDrafts::CommitAnswer::proceed);
    EXPECT_EQ(editor, nullptr);
    EXPECT_TRUE(drafts.unsavedDrafts().isEmpty());
}

} // namespace
