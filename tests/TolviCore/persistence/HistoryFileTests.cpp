#include "HardLinks.h"
#include "SampleHistory.h"
#include "TestFiles.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::samples;

namespace {

class HistoryFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    qint64 clock = 1'700'000'000;
    std::vector<std::function<void()>> mainQueue;

    QString folder() const { return dir.filePath(QStringLiteral("data/Tolvi")); }
    QString historyPath() const { return folder() + QStringLiteral("/history.json"); }

    std::unique_ptr<FileClipboardHistoryPersistence> makePersistence()
    {
        FileClipboardHistoryPersistence::Options options;
        options.mainExecutor = [this](std::function<void()> task) { mainQueue.push_back(std::move(task)); };
        options.unixSecondsNow = [this] { return clock; };
        return std::make_unique<FileClipboardHistoryPersistence>(historyPath(), options);
    }

    QStringList corruptCopies() const
    {
        QStringList copies;
        for (const QString& name : entries(folder())) {
            if (name.startsWith(QLatin1String("history.corrupt-")))
                copies.append(name);
        }
        return copies;
    }

    // Loads, expecting the decoding failure of an undecodable file.
    void expectCorruptLoad(FileClipboardHistoryPersistence& persistence)
    {
        try {
            persistence.load();
            ADD_FAILURE() << "load succeeded";
        } catch (const PersistenceError& error) {
            EXPECT_EQ(error.kind(), PersistenceError::Kind::decoding);
        }
    }
};

} // namespace

TEST_F(HistoryFileTest, FirstRunHasDefaultBoardsAndCreatesNothing)
{
    auto persistence = makePersistence();
    const ClipboardHistoryState state = persistence->load();
    EXPECT_TRUE(state.items.isEmpty());
    EXPECT_EQ(state.pinboards, DefaultPinboards::all());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("data"))));
}

TEST_F(HistoryFileTest, SaveAndLoadRoundTripWithPrivatePermissions)
{
    for (mode_t mask : {mode_t(0), mode_t(0277)}) {
        QDir(dir.filePath(QStringLiteral("data"))).removeRecursively();
        ScopedUmask umask(mask);
        auto persistence = makePersistence();
        const ClipboardHistoryState state = samples::sampleHistory();
        persistence->save(state);
        EXPECT_EQ(modeOf(dir.filePath(QStringLiteral("data"))), 0700u) << "umask " << mask;
        EXPECT_EQ(modeOf(folder()), 0700u);
        EXPECT_EQ(modeOf(historyPath()), 0600u);
        EXPECT_EQ(persistence->load(), state);
        EXPECT_EQ(entries(folder()), QStringList{QStringLiteral("history.json")});
    }
}

TEST_F(HistoryFileTest, ExistingWiderFolderIsKeptButTheFileIsPrivate)
{
    QDir().mkpath(folder());
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    writeFile(historyPath(), R"({"items": [], "pinboards": []})");
    ::chmod(QFile::encodeName(historyPath()).constData(), 0644);
    auto persistence = makePersistence();
    EXPECT_TRUE(persistence->load().pinboards.isEmpty());
    EXPECT_EQ(modeOf(historyPath()), 0600u);
    persistence->save(ClipboardHistoryState{});
    EXPECT_EQ(modeOf(folder()), 0755u);
}

TEST_F(HistoryFileTest, FolderWritableByOthersIsRefused)
{
    QDir().mkpath(folder());
    ::chmod(QFile::encodeName(folder()).constData(), 0777);
    auto persistence = makePersistence();
    try {
        persistence->save(samples::sampleHistory());
        FAIL() << "saved into a folder that others can write";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.code(), EACCES);
    }
    EXPECT_FALSE(QFileInfo::exists(historyPath()));
}

TEST_F(HistoryFileTest, OlderBareArrayLoadsWithDefaultBoardsAndIsRewrittenAsObject)
{
    QDir().mkpath(folder());
    const QByteArray legacy = R"([{"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 3.25,
        "content": {"type": "text", "text": "old"}}])";
    writeFile(historyPath(), legacy);
    auto persistence = makePersistence();
    ClipboardHistoryState state = persistence->load();
    ASSERT_EQ(state.items.size(), 1);
    EXPECT_EQ(state.pinboards, DefaultPinboards::all());
    EXPECT_TRUE(corruptCopies().isEmpty());
    EXPECT_EQ(readFile(historyPath()), legacy);

    persistence->save(state);
    const QByteArray rewritten = readFile(historyPath());
    EXPECT_TRUE(rewritten.startsWith("{"));
    EXPECT_TRUE(rewritten.contains("\"pinboards\""));
    EXPECT_EQ(persistence->load(), state);
}

TEST_F(HistoryFileTest, UndecodableFileGetsOneIdenticalPrivateCopyAndStaysUntouched)
{
    const QList<QByteArray> corruptContents = {QByteArray("garbage \x01\x02"), QByteArray("{}"), QByteArray(),
                                               QByteArray(R"({"items": []})"), QByteArray("[{\"id\": 1}]")};
    for (const QByteArray& content : corruptContents) {
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        writeFile(historyPath(), content);
        auto persistence = makePersistence();
        expectCorruptLoad(*persistence);
        const QStringList copies = corruptCopies();
        ASSERT_EQ(copies, QStringList{QStringLiteral("history.corrupt-1700000000.json")}) << content.constData();
        const QString copy = folder() + QLatin1Char('/') + copies.first();
        EXPECT_EQ(readFile(copy), content);
        EXPECT_EQ(modeOf(copy), 0600u);
        EXPECT_EQ(readFile(historyPath()), content);
    }
}

TEST_F(HistoryFileTest, FailuresInOneSecondMakeOneCopyAndLaterSecondsMakeMore)
{
    QDir().mkpath(folder());
    writeFile(historyPath(), "first broken");
    auto persistence = makePersistence();
    expectCorruptLoad(*persistence);
    // Replaced as a whole, as a save would: the first copy may be a second name for the first file.
    QFile::remove(historyPath());
    writeFile(historyPath(), "second broken");
    expectCorruptLoad(*persistence);
    ASSERT_EQ(corruptCopies().size(), 1);
    EXPECT_EQ(readFile(folder() + QStringLiteral("/history.corrupt-1700000000.json")), QByteArray("first broken"));

    clock += 1;
    expectCorruptLoad(*persistence);
    EXPECT_EQ(corruptCopies(), (QStringList{QStringLiteral("history.corrupt-1700000000.json"),
                                            QStringLiteral("history.corrupt-1700000001.json")}));
    EXPECT_EQ(readFile(folder() + QStringLiteral("/history.corrupt-1700000001.json")), QByteArray("second broken"));
}

TEST_F(HistoryFileTest, CorruptCopyThatFailsPartWayIsRemoved)
{
    QDir().mkpath(folder());
    const QByteArray broken = "[" + QByteArray(300'000, 'x');
    writeFile(historyPath(), broken);
    auto persistence = makePersistence();
    {
        // Where the file system has hard links no byte is copied; here it must copy.
        refuseHardLinks(true);
        ScopedFileSizeLimit limit(64 * 1024);
        expectCorruptLoad(*persistence);
        refuseHardLinks(false);
    }
    EXPECT_TRUE(corruptCopies().isEmpty());
    EXPECT_EQ(entries(folder()), QStringList{QStringLiteral("history.json")});
    EXPECT_EQ(readFile(historyPath()), broken);
}

TEST_F(HistoryFileTest, CorruptCopyNeverFollowsALinkPlantedUnderItsName)
{
    QDir().mkpath(folder());
    writeFile(historyPath(), "broken");
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    writeFile(victim, "victim");
    const QString planted = folder() + QStringLiteral("/history.corrupt-1700000000.json");
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(planted).constData()), 0);
    auto persistence = makePersistence();
    expectCorruptLoad(*persistence);
    EXPECT_EQ(readFile(victim), QByteArray("victim"));
}

TEST_F(HistoryFileTest, FullDiskKeepsThePreviousHistory)
{
    auto persistence = makePersistence();
    const ClipboardHistoryState previous = samples::sampleHistory();
    persistence->save(previous);
    const QByteArray before = readFile(historyPath());
    {
        ScopedFileSizeLimit limit(static_cast<rlim_t>(before.size()) + 1000);
        EXPECT_THROW(persistence->save(samples::generationHistory(1, 1 << 20)), PersistenceError);
    }
    EXPECT_EQ(readFile(historyPath()), before);
    EXPECT_EQ(entries(folder()), QStringList{QStringLiteral("history.json")});
    // A refused synchronous state is the caller's to keep or drop: a flush does not write it.
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_EQ(readFile(historyPath()), before);
    EXPECT_EQ(persistence->load(), previous);
}

TEST_F(HistoryFileTest, NonFiniteDateFailsTheSaveAndKeepsTheFile)
{
    auto persistence = makePersistence();
    persistence->save(samples::sampleHistory());
    const QByteArray before = readFile(historyPath());
    ClipboardHistoryState bad = samples::sampleHistory();
    bad.items[0].setCreatedAt(std::numeric_limits<double>::infinity());
    try {
        persistence->save(bad);
        FAIL() << "saved a non-finite date";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::encoding);
    }
    EXPECT_EQ(readFile(historyPath()), before);
}

TEST_F(HistoryFileTest, FolderOfAnotherUserIsRefusedForLoadingAndSaving)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    QDir().mkpath(folder());
    writeFile(historyPath(), R"({"items": [], "pinboards": []})");
    ASSERT_EQ(::chown(QFile::encodeName(folder()).constData(), 65534, 65534), 0);
    auto persistence = makePersistence();
    try {
        persistence->load();
        FAIL() << "loaded from another user's folder";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.code(), EACCES);
    }
    EXPECT_THROW(persistence->save(samples::sampleHistory()), PersistenceError);
    EXPECT_EQ(readFile(historyPath()), QByteArray(R"({"items": [], "pinboards": []})"));
}

TEST(HistoryFileLocation, DataFolderOrAPerUserPrivateFallback)
{
    EXPECT_EQ(FileClipboardHistoryPersistence::defaultFilePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                  + QStringLiteral("/Tolvi/history.json"));
    EXPECT_EQ(FileClipboardHistoryPersistence::defaultFilePath(QStringLiteral("/home/u/.local/share")),
              QStringLiteral("/home/u/.local/share/Tolvi/history.json"));

    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(FileClipboardHistoryPersistence::defaultFilePath(QString()),
              QStringLiteral("/run/user/4242/Tolvi/history.json"));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(FileClipboardHistoryPersistence::defaultFilePath(QString()),
              QStringLiteral("/tmp/Tolvi-%1/history.json").arg(::getuid()));
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}
