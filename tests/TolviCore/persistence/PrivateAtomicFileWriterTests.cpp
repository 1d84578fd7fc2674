#include "TestFiles.h"

#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>
#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::samples;

// Counts close() calls on one descriptor number, so a test can see that the writer closes its
// descriptor exactly once also when a step fails.
namespace {
std::atomic<int> watchedDescriptor{-1};
std::atomic<int> watchedCloses{0};
} // namespace

extern "C" int close(int fd)
{
    if (fd >= 0 && fd == watchedDescriptor.load())
        watchedCloses.fetch_add(1);
    return static_cast<int>(::syscall(SYS_close, fd));
}

// Records the order of synchronisations and renames while a test is watching.
namespace {
std::atomic<bool> recording{false};
std::mutex eventsMutex;
std::vector<std::string> events;
void record(std::string event)
{
    if (!recording.load())
        return;
    std::lock_guard lock(eventsMutex);
    events.push_back(std::move(event));
}
} // namespace

extern "C" int fsync(int fd)
{
    struct stat info {};
    ::fstat(fd, &info);
    record(S_ISDIR(info.st_mode) ? "fsync folder" : "fsync file");
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to)
{
    record("rename");
    return static_cast<int>(::syscall(SYS_rename, from, to));
}

namespace {

class PrivateAtomicFileWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString target() const { return dir.filePath(QStringLiteral("history.json")); }
    bool noTemporaryFiles() const
    {
        for (const QString& name : entries(dir.path())) {
            if (name.startsWith(QLatin1String(PrivateAtomicFileWriter::temporaryPrefix)))
                return false;
        }
        return true;
    }
};

} // namespace

TEST_F(PrivateAtomicFileWriterTest, WritesPrivateFileUnderAnyUmask)
{
    for (mode_t mask : {mode_t(0), mode_t(0277), mode_t(022)}) {
        ScopedUmask umask(mask);
        const QByteArray data = "content under umask " + QByteArray::number(mask, 8);
        PrivateAtomicFileWriter::write(data, target());
        EXPECT_EQ(readFile(target()), data);
        EXPECT_EQ(modeOf(target()), 0600u) << "umask " << mask;
    }
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("history.json")});
}

TEST_F(PrivateAtomicFileWriterTest, ReplacesAWiderTargetAndWritesEmptyData)
{
    writeFile(target(), "old");
    ::chmod(QFile::encodeName(target()).constData(), 0644);
    struct stat before {};
    ::stat(QFile::encodeName(target()).constData(), &before);
    PrivateAtomicFileWriter::write(QByteArray(), target());
    struct stat after {};
    ::stat(QFile::encodeName(target()).constData(), &after);
    EXPECT_EQ(modeOf(target()), 0600u);
    EXPECT_EQ(after.st_size, 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(PrivateAtomicFileWriterTest, MissingFolderFailsAtOpenAndCreatesNothing)
{
    const QString path = dir.filePath(QStringLiteral("missing/history.json"));
    try {
        PrivateAtomicFileWriter::write("x", path);
        FAIL() << "write succeeded";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::system);
        EXPECT_EQ(error.code(), ENOENT);
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST_F(PrivateAtomicFileWriterTest, SymbolicLinkIsReplacedAndItsTargetUntouched)
{
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere.txt"));
    writeFile(elsewhere, "keep me");
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(target()).constData()), 0);
    PrivateAtomicFileWriter::write("new", target());
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(target()).constData(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(readFile(target()), QByteArray("new"));
    EXPECT_EQ(readFile(elsewhere), QByteArray("keep me"));
}

TEST_F(PrivateAtomicFileWriterTest, FailingHookOrProducerLeavesTargetAndNoTemporaryFile)
{
    writeFile(target(), "old");
    QString seenTemporary;
    EXPECT_THROW(PrivateAtomicFileWriter::write("new", target(),
                                                [&](const QString& temporary) {
                                                    seenTemporary = temporary;
                                                    EXPECT_EQ(readFile(temporary), QByteArray("new"));
                                                    EXPECT_EQ(modeOf(temporary), 0600u);
                                                    throw PersistenceError::system(EIO, "hook");
                                                }),
                 PersistenceError);
    EXPECT_TRUE(QFileInfo(seenTemporary).fileName().startsWith(QLatin1String(".tolvi-private-")));
    EXPECT_TRUE(seenTemporary.endsWith(QLatin1String(".tmp")));
    EXPECT_EQ(QFileInfo(seenTemporary).fileName().size(), 15 + 36 + 4);
    EXPECT_EQ(readFile(target()), QByteArray("old"));
    EXPECT_TRUE(noTemporaryFiles());

    EXPECT_THROW(PrivateAtomicFileWriter::writeStreaming(target(),
                                                         [](int fd) {
                                                             ASSERT_EQ(::write(fd, "partial", 7), 7);
                                                             throw PersistenceError::encoding("stop");
                                                         }),
                 PersistenceError);
    EXPECT_EQ(readFile(target()), QByteArray("old"));
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(PrivateAtomicFileWriterTest, DescriptorIsClosedExactlyOnceOnFailure)
{
    for (bool fail : {true, false}) {
        int descriptor = -1;
        watchedCloses = 0;
        int closesBeforeRename = -1;
        try {
            PrivateAtomicFileWriter::writeStreaming(
                target(),
                [&](int fd) {
                    descriptor = fd;
                    watchedDescriptor = fd;
                    if (fail)
                        throw PersistenceError::encoding("stop");
                },
                [&](const QString&) {
                    // Later descriptors (the folder's, for its sync) may get the same number.
                    closesBeforeRename = watchedCloses.load();
                    watchedDescriptor = -1;
                });
        } catch (const PersistenceError&) {
            closesBeforeRename = watchedCloses.load();
        }
        watchedDescriptor = -1;
        EXPECT_EQ(closesBeforeRename, 1);
        ASSERT_GE(descriptor, 0);
        EXPECT_EQ(watchedCloses.load(), 1) << (fail ? "failed write" : "successful write");
    }
}

TEST_F(PrivateAtomicFileWriterTest, ContentThenFolderReachTheDiskAroundTheRename)
{
    bool closeOnExec = false;
    events.clear();
    recording = true;
    PrivateAtomicFileWriter::writeStreaming(target(), [&](int fd) {
        closeOnExec = (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
        ASSERT_EQ(::write(fd, "x", 1), 1);
    });
    recording = false;
    EXPECT_TRUE(closeOnExec);
    EXPECT_EQ(events, (std::vector<std::string>{"fsync file", "rename", "fsync folder"}));
}

TEST_F(PrivateAtomicFileWriterTest, FullDiskLeavesOldTargetAndNoTemporaryFile)
{
    const QByteArray old(10'000, 'o');
    PrivateAtomicFileWriter::write(old, target());
    try {
        ScopedFileSizeLimit limit(64 * 1024);
        PrivateAtomicFileWriter::write(QByteArray(1 << 20, 'n'), target());
        FAIL() << "write succeeded beyond the file size limit";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.code(), EFBIG);
    }
    EXPECT_EQ(readFile(target()), old);
    EXPECT_TRUE(noTemporaryFiles());
}
