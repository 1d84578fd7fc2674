// What stands in the history folder that the program did not put there as it should: links,
// folders, FIFOs and devices under the history's name, a file far beyond any history, damaged
// files found at every start, files left by interrupted saves; and the lock that keeps a second
// program out of the folder.
#include "HardLinks.h"
#include "SampleHistory.h"
#include "TestFiles.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryFolderLock.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUuid>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::samples;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

struct stat statOf(const QString& path)
{
    struct stat info {};
    ::lstat(native(path).constData(), &info);
    return info;
}

QString temporaryName()
{
    return QLatin1String(PrivateAtomicFileWriter::temporaryPrefix)
           + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".tmp");
}

class HistoryFolderSafetyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    qint64 clock = 1'700'000'000;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder())); }
    QString folder() const { return dir.filePath(QStringLiteral("Tolvi")); }
    QString historyPath() const { return folder() + QStringLiteral("/history.json"); }

    std::unique_ptr<FileClipboardHistoryPersistence> makePersistence(FileClipboardHistoryPersistence::Options options = {})
    {
        options.mainExecutor = [](std::function<void()> task) { task(); };
        options.unixSecondsNow = [this] { return clock; };
        return std::make_unique<FileClipboardHistoryPersistence>(historyPath(), options);
    }

    QStringList corruptCopies() const { return entries(folder()).filter(QStringLiteral("history.corrupt-")); }

    // Loads, expecting the failure of the given kind.
    void expectFailedLoad(FileClipboardHistoryPersistence& persistence, PersistenceError::Kind kind)
    {
        try {
            persistence.load();
            ADD_FAILURE() << "load succeeded";
        } catch (const PersistenceError& error) {
            EXPECT_EQ(error.kind(), kind) << error.what();
        }
    }
};

} // namespace

TEST_F(HistoryFolderSafetyTest, OnlyARegularFileOfTheUsersOwnIsOpened)
{
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    writeFile(victim, R"({"items": [], "pinboards": []})");
    ::chmod(native(victim).constData(), 0644);
    const QString victimFolder = dir.filePath(QStringLiteral("victim"));
    ASSERT_EQ(::mkdir(native(victimFolder).constData(), 0755), 0);
    ::chmod(native(victimFolder).constData(), 0755);
    const QByteArray history = native(historyPath());

    const std::vector<std::pair<const char*, std::function<int()>>> intruders = {
        {"a link to a file", [&] { return ::symlink(native(victim).constData(), history.constData()); }},
        {"a link to a folder", [&] { return ::symlink(native(victimFolder).constData(), history.constData()); }},
        {"a dangling link", [&] { return ::symlink("/nonexistent/history.json", history.constData()); }},
        {"a folder", [&] { return ::mkdir(history.constData(), 0755) | ::chmod(history.constData(), 0755); }},
        {"a FIFO", [&] { return ::mkfifo(history.constData(), 0644) | ::chmod(history.constData(), 0644); }},
        // The zero device, as root can make one; reading it would never end.
        {"a device", [&] { return ::geteuid() == 0 ? ::mknod(history.constData(), S_IFCHR | 0644, makedev(1, 5)) : 1; }},
        {"another user's file",
         [&] {
             writeFile(historyPath(), R"({"items": [], "pinboards": []})");
             ::chmod(history.constData(), 0644);
             return ::geteuid() == 0 ? ::chown(history.constData(), 65534, 65534) : 1;
         }},
    };
    for (const auto& [what, plant] : intruders) {
        SCOPED_TRACE(what);
        QDir(historyPath()).removeRecursively();
        QFile::remove(historyPath());
        if (plant() != 0)
            continue; // needs root
        const struct stat before = statOf(historyPath());

        auto persistence = makePersistence();
        auto loading = std::async(std::launch::async, [&] { expectFailedLoad(*persistence, PersistenceError::Kind::system); });
        if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // A reader blocked on the FIFO: let it go, and fail.
            ::close(::open(history.constData(), O_WRONLY | O_NONBLOCK));
            loading.wait();
            ADD_FAILURE() << "the load waited for a writer";
        }
        const struct stat after = statOf(historyPath());
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(modeOf(victim), 0644u);
        EXPECT_EQ(modeOf(victimFolder), 0755u);
        EXPECT_EQ(readFile(victim), QByteArray(R"({"items": [], "pinboards": []})"));
        EXPECT_EQ(entries(folder()), QStringList{QStringLiteral("history.json")});
    }
}

TEST_F(HistoryFolderSafetyTest, AFileBeyondTheSizeBoundIsDamagedWithoutBeingRead)
{
    // A sparse file one byte past the bound: nothing of it is on the disk.
    const int fd = ::open(native(historyPath()).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, FileClipboardHistoryPersistence::maximumFileBytes + 1), 0);
    ::close(fd);
    bool read = false;
    FileClipboardHistoryPersistence::Options options;
    options.beforeDecoding = [&] { read = true; };
    auto persistence = makePersistence(options);
    for (int launch = 0; launch < 3; ++launch, ++clock)
        expectFailedLoad(*persistence, PersistenceError::Kind::decoding);
    EXPECT_FALSE(read);
    // One copy for every launch, and no byte of it copied: the same file under a second name.
    ASSERT_EQ(corruptCopies(), QStringList{QStringLiteral("history.corrupt-1700000000.json")});
    const struct stat copy = statOf(folder() + QStringLiteral("/history.corrupt-1700000000.json"));
    EXPECT_EQ(copy.st_ino, statOf(historyPath()).st_ino);
    EXPECT_EQ(copy.st_blocks, 0);
}

TEST_F(HistoryFolderSafetyTest, TheSizeBoundHoldsForWritingAndReadingAlike)
{
    const QByteArray written = HistoryJsonCodec::encodeState(sampleHistory());
    FileClipboardHistoryPersistence::Options options;
    options.maximumFileBytes = written.size();
    auto persistence = makePersistence(options);
    persistence->save(sampleHistory());
    EXPECT_EQ(persistence->load(), sampleHistory());

    // A history one byte larger is not written, and the file on disk stays as it was.
    ClipboardHistoryState larger = sampleHistory();
    larger.pinboards[0].setName(larger.pinboards[0].name() + QLatin1Char('x'));
    try {
        persistence->save(larger);
        ADD_FAILURE() << "saved a history beyond the bound";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::encoding);
    }
    EXPECT_EQ(readFile(historyPath()), written);
    EXPECT_EQ(entries(folder()), QStringList{QStringLiteral("history.json")});

    // Written by a program with a larger bound, it is damaged for this one.
    auto roomier = makePersistence();
    roomier->save(larger);
    expectFailedLoad(*persistence, PersistenceError::Kind::decoding);
    EXPECT_EQ(corruptCopies().size(), 1);
}

TEST_F(HistoryFolderSafetyTest, ADamagedFileIsCopiedOnceWhateverTheNumberOfLaunches)
{
    for (const bool hardLinks : {true, false}) {
        SCOPED_TRACE(hardLinks ? "with hard links" : "without hard links");
        refuseHardLinks(!hardLinks);
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        writeFile(historyPath(), "broken [");
        auto persistence = makePersistence();
        for (int launch = 0; launch < 3; ++launch, ++clock)
            expectFailedLoad(*persistence, PersistenceError::Kind::decoding);
        const QStringList copies = corruptCopies();
        ASSERT_EQ(copies.size(), 1);
        const QString copy = folder() + QLatin1Char('/') + copies.first();
        EXPECT_EQ(readFile(copy), QByteArray("broken ["));
        EXPECT_EQ(modeOf(copy), 0600u);
        EXPECT_EQ(statOf(copy).st_ino == statOf(historyPath()).st_ino, hardLinks);

        // Other bytes of the same length are another damaged file.
        QFile::remove(historyPath());
        writeFile(historyPath(), "broken {");
        expectFailedLoad(*persistence, PersistenceError::Kind::decoding);
        EXPECT_EQ(corruptCopies().size(), 2);
        EXPECT_EQ(entries(folder()).filter(QLatin1String(PrivateAtomicFileWriter::temporaryPrefix)), QStringList());
    }
    refuseHardLinks(false);
}

TEST_F(HistoryFolderSafetyTest, LeftoversOfInterruptedSavesAreRemovedOnlyUnderTheLock)
{
    auto lock = std::make_unique<HistoryFolderLock>(historyPath());
    ASSERT_TRUE(lock->acquire());
    const auto plant = [&](const QString& name) {
        writeFile(folder() + QLatin1Char('/') + name, "clips the user deleted");
        return folder() + QLatin1Char('/') + name;
    };
    const QString leftover = temporaryName();
    plant(leftover);
    // A save still running holds its file.
    const QString running = plant(temporaryName());
    const int runningFd = ::open(native(running).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(runningFd, LOCK_EX), 0);
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    writeFile(victim, "victim");
    ASSERT_EQ(::symlink(native(victim).constData(), native(folder() + QLatin1Char('/') + temporaryName()).constData()), 0);
    ASSERT_TRUE(QDir(folder()).mkdir(temporaryName()));
    plant(QStringLiteral(".tolvi-private-ZZZZZZZZ-ZZZZ-ZZZZ-ZZZZ-ZZZZZZZZZZZZ.tmp"));
    plant(QStringLiteral("notes.tmp"));
    plant(QStringLiteral("history.json"));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(native(plant(temporaryName())).constData(), 65534, 65534), 0);
    }
    const QStringList planted = entries(folder());

    // A second program gets no lock and tidies nothing.
    auto second = std::make_unique<HistoryFolderLock>(historyPath());
    EXPECT_FALSE(second->acquire());
    EXPECT_EQ(second->removeLeftoverTemporaryFiles(), 0);
    EXPECT_EQ(entries(folder()), planted);

    EXPECT_EQ(lock->removeLeftoverTemporaryFiles(), 1);
    QStringList expected = planted;
    expected.removeOne(leftover);
    EXPECT_EQ(entries(folder()), expected);
    EXPECT_EQ(readFile(victim), QByteArray("victim"));
    ::close(runningFd);
    // The lock goes with the program that held it.
    lock.reset();
    EXPECT_TRUE(second->acquire());
}

// A lock that cannot be opened or taken is a history another program may own: refused, never
// passed over. Only a file system that keeps no locks at all lets the program go on without one.
TEST_F(HistoryFolderSafetyTest, ALockThatCannotBeTakenRefusesTheHistoryUnlessLocksAreUnsupported)
{
    const QString lockPath = folder() + QLatin1Char('/') + QLatin1String(HistoryFolderLock::fileName);
    ASSERT_TRUE(QDir().mkdir(lockPath));
    {
        HistoryFolderLock lock(historyPath());
        EXPECT_THROW(lock.acquire(), PersistenceError);
        EXPECT_FALSE(lock.isHeld());
        EXPECT_FALSE(lock.locksUnsupported());
    }
    ASSERT_TRUE(QDir().rmdir(lockPath));

    const auto failingWith = [](int error) {
        return [error](int, int) {
            errno = error;
            return -1;
        };
    };
    for (const int error : {EIO, EBADF, EINVAL}) {
        HistoryFolderLock lock(historyPath(), failingWith(error));
        try {
            lock.acquire();
            ADD_FAILURE() << "a lock failing with " << error << " was passed over";
        } catch (const PersistenceError& failure) {
            EXPECT_EQ(failure.code(), error);
        }
        EXPECT_FALSE(lock.locksUnsupported());
    }
    for (const int error : {ENOLCK, EOPNOTSUPP, ENOSYS}) {
        HistoryFolderLock lock(historyPath(), failingWith(error));
        EXPECT_TRUE(lock.acquire()) << error;
        EXPECT_FALSE(lock.isHeld());
        EXPECT_TRUE(lock.locksUnsupported());
        // Without a lock nothing proves that no other program is saving: nothing is tidied.
        const QString leftover = folder() + QLatin1Char('/') + temporaryName();
        writeFile(leftover, "another program's save");
        EXPECT_EQ(lock.removeLeftoverTemporaryFiles(), 0);
        EXPECT_TRUE(QFileInfo::exists(leftover));
        QFile::remove(leftover);
    }
    // A lock held elsewhere is still told apart from a failure.
    HistoryFolderLock first(historyPath());
    ASSERT_TRUE(first.acquire());
    HistoryFolderLock second(historyPath());
    EXPECT_FALSE(second.acquire());
}
