// Typed text kept when the program ends: the private file, the next run handing each draft back
// to its editor, and the session manager's commit-data request answered by the editors' own
// questions.
#include "Tolvi/shell/UnsavedDrafts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <future>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads the kept drafts on a thread of its own: true when that returned, however the file behaves.
// A reader stuck opening a FIFO is let go (by a writer that comes and goes) before this returns.
bool recoversWithoutBlocking(UnsavedDrafts& drafts)
{
    std::future<void> reading = std::async(std::launch::async, [&drafts] { drafts.recover(); });
    if (reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return true;
    const int writer = ::open(QFile::encodeName(drafts.filePath()).constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
    return false;
}

// A file of the user's own that this Tolvi cannot take in (written by a newer version, damaged,
// or larger than any drafts file) holds typed text: it is never removed, and it makes way for
// the drafts of this run under a dated name.
TEST(UnsavedDrafts, AFileThatCannotBeTakenInIsNeverRemovedAndMakesWayUnderADatedName)
{
    const QByteArray newer = R"({"version":2,"drafts":[{"editor":"compact","editedText":"typed in a newer Tolvi"}]})";
    const QByteArray damaged = R"({"version":1,"drafts":[{"editor":"compact","editedText":"typed bef)";
    for (const QByteArray& bytes : {newer, damaged, QByteArray()}) {
        SCOPED_TRACE(bytes.isEmpty() ? "larger than a drafts file may be" : bytes.constData());
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("unsaved-drafts.json"));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            if (bytes.isEmpty())
                ASSERT_TRUE(file.resize(UnsavedDrafts::maximumFileBytes + 1));  // sparse: nothing to read
            else
                file.write(bytes);
        }
        const QByteArray before = bytes.isEmpty() ? QByteArray() : contentOf(path);
        const auto sameAsBefore = [&](const QString& where) {
            return bytes.isEmpty() ? QFileInfo(where).size() == UnsavedDrafts::maximumFileBytes + 1
                                   : contentOf(where) == before;
        };
        {
            // A run with nothing typed quits: the file stays as it is.
            UnsavedDrafts drafts(path, [] { return qint64(1700000000); });
            drafts.recover();
            EXPECT_TRUE(drafts.recovered().isEmpty());
            EXPECT_TRUE(drafts.keep());
            EXPECT_TRUE(sameAsBefore(path));
        }
        // A run with typed text keeps both.
        UnsavedDrafts drafts(path, [] { return qint64(1700000000); });
        drafts.recover();
        FakeEditor editor;
        editor.text = compactDraft();
        drafts.add(&editor.owner, editor.editor());
        ASSERT_TRUE(drafts.keep());
        const QString aside = home.filePath(QStringLiteral("unsaved-drafts.unreadable-1700000000.json"));
        EXPECT_TRUE(sameAsBefore(aside));
        UnsavedDrafts next(path);
        next.recover();
        EXPECT_EQ(next.recovered(), QList<UnsavedDraft>{*editor.text});
    }
}

// Only a regular file of the user's own is read: a FIFO under the name would block the start for
// good, and a link to a device would be read without end.
TEST(UnsavedDrafts, AFifoOrALinkToADeviceIsNeitherWaitedForNorReadNorRemoved)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("unsaved-drafts.json"));
    const QByteArray native = QFile::encodeName(path);
    const auto isFifo = [&] {
        struct stat info {};
        return ::lstat(native.constData(), &info) == 0 && S_ISFIFO(info.st_mode);
    };
    const auto isLink = [&] { return QFileInfo(path).isSymLink(); };
    const std::vector<std::pair<std::function<bool()>, std::function<bool()>>> cases{
        {[&] { return ::mkfifo(native.constData(), 0600) == 0; }, isFifo},
        {[&] { return QFile::link(QStringLiteral("/dev/zero"), path); }, isLink},
    };
    for (const auto& [make, stillThere] : cases) {
        ASSERT_TRUE(make());
        {
            UnsavedDrafts drafts(path);
            ASSERT_TRUE(recoversWithoutBlocking(drafts));
            EXPECT_TRUE(drafts.recovered().isEmpty());
            EXPECT_TRUE(drafts.keep());
            EXPECT_TRUE(stillThere());
        }
        // Typed text is kept all the same, in a file of its own under the name.
        UnsavedDrafts drafts(path);
        ASSERT_TRUE(recoversWithoutBlocking(drafts));
        FakeEditor editor;
        editor.text = compactDraft();
        drafts.add(&editor.owner, editor.editor());
        ASSERT_TRUE(drafts.keep());
        EXPECT_FALSE(stillThere());
        UnsavedDrafts next(path);
        next.recover();
        EXPECT_EQ(next.recovered(), QList<UnsavedDraft>{*editor.text});
        ASSERT_TRUE(QFile::remove(path));
    }
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
