#include "Tolvi/platform/process/SingleInstance.h"
#include "Tolvi/platform/process/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tolvi;

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
