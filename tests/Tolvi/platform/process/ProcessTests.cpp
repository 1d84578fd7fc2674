#include "Tolvi/platform/process/SingleInstance.h"
#include "Tolvi/platform/process/TerminationSignals.h"

#include "SilentListener.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <QDir>
#include <QLocalSocket>
#include <QScopeGuard>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tolvi;
using tolvi::test::silentListener;

namespace {
void spinUntil(const std::function<bool()>& done, int ms = 3000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
} // namespace

TEST(SingleInstance, SecondLaunchHandsOverToTheFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup), 0);
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    // The second launch runs in its own thread here: it blocks while the first must answer.
    SingleInstance::Role secondRole = SingleInstance::Role::Failed;
    QThread* thread = QThread::create([&] {
        SingleInstance second(path);
        secondRole = second.claim();
    });
    thread->start();
    spinUntil([&] { return thread->isFinished(); });
    thread->wait();
    delete thread;
    EXPECT_EQ(secondRole, SingleInstance::Role::Secondary);
    spinUntil([&] { return activations == 1; });
    EXPECT_EQ(activations, 1);
}

TEST(SingleInstance, AWindowCommandReachesTheRunningInstanceWithItsActivationToken)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    QList<SingleInstance::Request> received;
    int activations = 0;
    QObject::connect(&first, &SingleInstance::requestReceived, [&](const SingleInstance::Request& request) {
        received.append(request);
    });
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    const SingleInstance::Request asked{SingleInstance::Command::compact, "kwin-token_TIME42"};
    QThread* thread = QThread::create([&] {
        SingleInstance second(path);
        second.setRequest(asked);
        second.claim();
    });
    thread->start();
    spinUntil([&] { return thread->isFinished() && !received.isEmpty(); });
    thread->wait();
    delete thread;
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.first(), asked);
    EXPECT_EQ(activations, 0);
}

TEST(SingleInstance, RequestLinesAreCheckedWordAndToken)
{
    using Command = SingleInstance::Command;
    for (const Command command : {Command::reopen, Command::history, Command::compact, Command::settings}) {
        const SingleInstance::Request request{command, "id-1_TIME7"};
        EXPECT_EQ(SingleInstance::decode(SingleInstance::encode(request)), request);
    }
    // Older launches send the bare word.
    EXPECT_EQ(SingleInstance::decode("activate\n"), SingleInstance::Request{});
    EXPECT_EQ(SingleInstance::decode("settings\n"), (SingleInstance::Request{Command::settings, {}}));
    EXPECT_FALSE(SingleInstance::decode("history"));
    EXPECT_FALSE(SingleInstance::decode("quit\n"));
    EXPECT_FALSE(SingleInstance::decode("history two words\n"));
    EXPECT_FALSE(SingleInstance::decode("history \x1b[2J\n"));
    EXPECT_FALSE(SingleInstance::decode("history " + QByteArray(513, 'a') + "\n"));
    // A token that cannot travel is left out rather than sent broken.
    EXPECT_EQ(SingleInstance::encode({Command::history, "has space"}), QByteArray("history\n"));
}

TEST(SingleInstance, LeftoverSocketOfACrashedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    // A bound socket file with no listener, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(path));

    SingleInstance instance(path);
    EXPECT_EQ(instance.claim(), SingleInstance::Role::Primary);
}

TEST(SingleInstance, SocketOfAnotherUserIsNeverHandedOverTo)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs to give a socket to another user";
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    // Another user's program that answers as a running Tolvi would.
    SingleInstance squatter(path);
    ASSERT_EQ(squatter.claim(), SingleInstance::Role::Primary);
    int activations = 0;
    QObject::connect(&squatter, &SingleInstance::activationRequested, [&] { ++activations; });
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);

    SingleInstance::Role role = SingleInstance::Role::Secondary;
    QThread* thread = QThread::create([&] { role = SingleInstance(path).claim(); });
    thread->start();
    spinUntil([&] { return thread->isFinished(); });
    thread->wait();
    delete thread;
    EXPECT_NE(role, SingleInstance::Role::Secondary);
    QCoreApplication::processEvents();
    EXPECT_EQ(activations, 0);
}


TEST(SingleInstance, ASocketThatDoesNotAnswerIsNeverTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    const int stuck = silentListener(path);
    ASSERT_GE(stuck, 0);
    struct stat before {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &before), 0);
    EXPECT_EQ(SingleInstance(path).claim(), SingleInstance::Role::Failed);
    struct stat after {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    ::close(stuck);
}

// Without a runtime folder the socket goes into a folder of the user's own in the temporary
// folder: a socket another user put in the shared folder itself cannot stand in the way.
TEST(SingleInstance, FallbackSocketLivesInAFolderNobodyElseCanHaveMade)
{
    QTemporaryDir temporary;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const mode_t savedMask = ::umask(0);
    const QString folder = temporary.filePath(QStringLiteral("Tolvi-%1").arg(::getuid()));
    EXPECT_EQ(SingleInstance::defaultSocketPath(), folder + QStringLiteral("/tolvi.instance"));

    const QString squatted = temporary.filePath(QStringLiteral("tolvi-%1.instance").arg(::getuid()));
    const int squatter = silentListener(squatted);
    ASSERT_GE(squatter, 0);
    if (::getuid() == 0)
        ::chown(QFile::encodeName(squatted).constData(), 65534, 65534);
    {
        SingleInstance first;
        EXPECT_EQ(first.claim(), SingleInstance::Role::Primary);
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u);
    }
    ::close(squatter);

    // A folder of that name that others may write into is refused.
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    EXPECT_EQ(SingleInstance().claim(), SingleInstance::Role::Failed);

    ::umask(savedMask);
    qputenv("TMPDIR", savedTemporary);
    if (savedTemporary.isNull())
        qunsetenv("TMPDIR");
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

namespace {
int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// New descriptors are numbered from the lowest free one.
int lowestFreeDescriptor()
{
    const int probe = ::dup(0);
    ::close(probe);
    return probe;
}

// A launch in a thread of its own, as the running instance must answer while it waits.
SingleInstance::Role claimInThread(const QString& path)
{
    SingleInstance::Role role = SingleInstance::Role::Failed;
    QThread* thread = QThread::create([&] { role = SingleInstance(path).claim(); });
    thread->start();
    spinUntil([&] { return thread->isFinished(); }, 10000);
    thread->wait();
    delete thread;
    return role;
}
} // namespace

// A program that opens a thousand connections, sends the start of a line on each and keeps them
// open, with the running instance allowed few open files: the instance keeps only a few of them,
// keeps its socket, and still answers a launch.
TEST(SingleInstance, AFloodOfConnectionsThatNeverFinishTheirLineCannotExhaustOpenFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    constexpr int kFlood = 1000;
    if (saved.rlim_max < rlim_t(kFlood + 64))
        GTEST_SKIP() << "the flood needs " << kFlood + 64 << " open files";
    const int baseline = openDescriptors();
    rlimit low = saved;
    low.rlim_cur = rlim_t(lowestFreeDescriptor() + 48);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);

    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC | O_NONBLOCK), 0);
    const pid_t flooder = ::fork();
    ASSERT_GE(flooder, 0);
    if (flooder == 0) {
        ::setrlimit(RLIMIT_NOFILE, &saved);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        for (int i = 0; i < kFlood; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
                ::_exit(1);
            (void)!::write(fd, "hist", 4);
        }
        (void)!::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    // Whatever the outcome, the flooder goes and the limit comes back.
    const auto cleanUp = qScopeGuard([&] {
        ::kill(flooder, SIGKILL);
        ::waitpid(flooder, nullptr, 0);
        ::close(ready[0]);
        ::setrlimit(RLIMIT_NOFILE, &saved);
    });
    ::close(ready[1]);
    char byte = 0;
    spinUntil([&] { return ::read(ready[0], &byte, 1) == 1; }, 20000);
    ASSERT_EQ(byte, 'r') << "the flooding program could not connect";
    // Let the instance take in what is queued; it must stay well under its limit meanwhile.
    int most = 0;
    QDeadlineTimer settle(500);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        most = std::max(most, openDescriptors());
    }
    EXPECT_LE(most, baseline + SingleInstance::kMaximumOpenConnections + 8);
    EXPECT_TRUE(QFileInfo::exists(path));

    // A launch in the middle of the flood still reaches the running instance.
    EXPECT_EQ(claimInThread(path), SingleInstance::Role::Secondary);
    spinUntil([&] { return activations == 1; });
    EXPECT_EQ(activations, 1);
}

TEST(SingleInstance, AConnectionThatNeverFinishesItsLineIsClosedAfterItsDeadline)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    QLocalSocket slow;
    slow.connectToServer(path);
    ASSERT_TRUE(slow.waitForConnected(1000));
    slow.write("hist");
    slow.flush();
    bool closed = false;
    QObject::connect(&slow, &QLocalSocket::disconnected, [&] { closed = true; });
    spinUntil([&] { return closed; }, SingleInstance::kLineDeadlineMs + 10000);
    EXPECT_TRUE(closed);
}

// When a connection cannot be accepted, Qt closes the server and removes its socket file.
TEST(SingleInstance, TheInstanceListensAgainAfterItsSocketWasClosedUnderIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tolvi.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });

    // A connection waits to be accepted while no descriptor is left to accept it with.
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(client, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = rlim_t(lowestFreeDescriptor());
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    spinUntil([&] { return !QFileInfo::exists(path); }, 2000);
    const bool closedUnderIt = !QFileInfo::exists(path);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(client);
    ASSERT_TRUE(closedUnderIt);

    spinUntil([&] { return QFileInfo::exists(path); }, 15000);
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(claimInThread(path), SingleInstance::Role::Secondary);
    spinUntil([&] { return activations == 1; });
    EXPECT_EQ(activations, 1);
}

TEST(TerminationSignals, SigtermArrivesAsAQtSignal)
{
    TerminationSignals signals_;
    ASSERT_TRUE(signals_.isInstalled());
    QList<int> received;
    QObject::connect(&signals_, &TerminationSignals::terminationRequested, [&](int s) { received << s; });
    ::kill(::getpid(), SIGTERM);
    ::kill(::getpid(), SIGHUP);
    spinUntil([&] { return received.size() == 2; });
    EXPECT_EQ(received, (QList<int>{SIGTERM, SIGHUP}));
}
