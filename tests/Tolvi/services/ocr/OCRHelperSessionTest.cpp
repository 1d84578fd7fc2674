// The worker process handle against a scripted fake worker (real processes, real pipes).

#include "Tolvi/services/ocr/OCRHelperSession.h"
#include "Tolvi/services/ocr/OCRWorkerProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <future>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tolvi;
using ImageOCRService::Cancellation;
using ImageOCRService::Outcome;
using Kind = ImageOCRService::Outcome::Kind;

// Counts the signals this process sends to one pid: this kill stands in for the C library's
// and passes every call on.
namespace {
std::atomic<pid_t> watchedPid{0};
std::atomic<int> signalsToWatchedPid{0};
} // namespace

extern "C" int kill(pid_t pid, int signalNumber)
{
    if (pid > 0 && pid == watchedPid.load())
        ++signalsToWatchedPid;
    return int(syscall(SYS_kill, pid, signalNumber));
}

namespace {

const QString fakeWorker = QStringLiteral(TOLVI_FAKE_OCR_WORKER_PATH);

std::shared_ptr<Cancellation> freshCancellation()
{
    return std::make_shared<Cancellation>(std::nullopt, systemSteadyClock());
}

Outcome ask(OCRHelperSession& session, const QByteArray& command)
{
    auto cancellation = freshCancellation();
    return session.recognize(command, *cancellation);
}

pid_t pidOf(const Outcome& outcome)
{
    return outcome.kind == Kind::recognized ? pid_t(outcome.text.toInt()) : 0;
}

// True while the process exists and is not a zombie.
bool alive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray state = stat.readAll().split(')').last().trimmed().left(1);
    return state != "Z" && state != "X";
}

bool exists(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

QMap<QString, QString> describe(const Outcome& outcome)
{
    QMap<QString, QString> fields;
    for (const QString& line : outcome.text.split(QLatin1Char('\n')))
        fields.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    return fields;
}

class SignalWatch {
public:
    explicit SignalWatch(pid_t pid)
    {
        signalsToWatchedPid = 0;
        watchedPid = pid;
    }
    ~SignalWatch() { watchedPid = 0; }
    int count() const { return signalsToWatchedPid.load(); }
};

} // namespace

TEST(OCRHelperSession, OneWorkerServesConsecutiveRequests)
{
    OCRHelperSession session(fakeWorker);
    EXPECT_EQ(session.workerProcessId(), 0);
    const pid_t first = pidOf(ask(session, "pid"));
    ASSERT_GT(first, 0);
    EXPECT_EQ(ask(session, "kind:noText"), Outcome::of(Kind::noText));
    EXPECT_EQ(pidOf(ask(session, "pid")), first);
    EXPECT_EQ(session.workerProcessId(), first);
}

TEST(OCRHelperSession, FailedAndUnsupportedRepliesRetireTheWorker)
{
    OCRHelperSession session(fakeWorker);
    for (const auto& [command, expected] : {std::pair<QByteArray, Kind>{"kind:failed", Kind::failed},
                                            std::pair<QByteArray, Kind>{"kind:unsupportedImage", Kind::unsupportedImage}}) {
        const pid_t before = pidOf(ask(session, "pid"));
        EXPECT_EQ(ask(session, command), Outcome::of(expected));
        EXPECT_EQ(session.workerProcessId(), 0);
        EXPECT_FALSE(exists(before)); // reaped
        const pid_t after = pidOf(ask(session, "pid"));
        EXPECT_GT(after, 0);
        EXPECT_NE(after, before);
    }
}

TEST(OCRHelperSession, UnusableRepliesFailAndRetireTheWorker)
{
    OCRHelperSession session(fakeWorker);
    const std::vector<QByteArray> commands{
        "text: \n\t\n",                           // blank text
        "raw:{\"kind\":\"recognized\"}",          // recognized without text
        "raw:{\"kind\":\"recognized\",\"text\":null}",
        "raw:not json",                           // undecodable
        "raw:{\"kind\":\"Recognized\",\"text\":\"x\"}",
        "exit",                                   // no reply at all
    };
    for (const QByteArray& command : commands) {
        const pid_t before = pidOf(ask(session, "pid"));
        EXPECT_EQ(ask(session, command), Outcome::of(Kind::failed)) << command.constData();
        EXPECT_EQ(session.workerProcessId(), 0) << command.constData();
        EXPECT_FALSE(exists(before)) << command.constData();
    }
}

TEST(OCRHelperSession, RecognisedTextIsKeptExactlyAsSent)
{
    OCRHelperSession session(fakeWorker);
    EXPECT_EQ(ask(session, "text:  padded line \n"), Outcome::recognized(QStringLiteral("  padded line \n")));
    EXPECT_NE(session.workerProcessId(), 0);
}

TEST(OCRHelperSession, AWorkerKilledFromOutsideIsReplacedWithoutFailing)
{
    OCRHelperSession session(fakeWorker);
    const pid_t first = pidOf(ask(session, "pid"));
    ASSERT_GT(first, 0);
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    for (int i = 0; i < 200 && alive(first); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t second = pidOf(ask(session, "pid"));
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_FALSE(exists(first));
}

TEST(OCRHelperSession, TheWorkerGetsACleanProcessSetup)
{
    // Variables outside the allowed set stay behind; allowed ones that are unset stay unset.
    setenv("TOLVI_PRIVATE_TOKEN", "secret", 1);
    setenv("LANG", "C.UTF-8", 1);
    unsetenv("LC_ALL");
    const QByteArray oldTmp = qgetenv("TMPDIR");
    setenv("TMPDIR", "/tmp", 1);
    // A blocked signal in the launching thread and an ignored SIGTERM must not reach the worker.
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &block, &previousMask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousTerm {};
    sigaction(SIGTERM, &ignore, &previousTerm);
    // A descriptor without close-on-exec must not leak into the worker.
    const int leaky = ::open("/dev/null", O_RDONLY);

    OCRHelperSession session(fakeWorker, {QStringLiteral("--scripted")});
    const Outcome outcome = ask(session, "env");

    ::close(leaky);
    sigaction(SIGTERM, &previousTerm, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    unsetenv("TOLVI_PRIVATE_TOKEN");
    if (oldTmp.isNull())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldTmp.constData(), 1);

    ASSERT_EQ(outcome.kind, Kind::recognized);
    const auto fields = describe(outcome);
    QStringList expected;
    for (const QString& name : OCRWorkerProcess::allowedEnvironment()) {
        if (qEnvironmentVariableIsSet(name.toLatin1().constData()) || name == QLatin1String("TMPDIR"))
            expected.append(name);
    }
    expected.sort();
    EXPECT_EQ(fields.value("env"), expected.join(QLatin1Char(',')));
    EXPECT_TRUE(expected.contains(QStringLiteral("LANG")));
    EXPECT_FALSE(expected.contains(QStringLiteral("LC_ALL")));
    EXPECT_EQ(fields.value("argc"), "2");
    EXPECT_EQ(fields.value("stderr"), "null");
    // The standard signals (1 to 31); the C library keeps two real-time signals of its own.
    const auto standard = [](const QString& mask) { return mask.toULongLong(nullptr, 16) & 0x7fffffffULL; };
    EXPECT_EQ(standard(fields.value("sigblk")), 0u) << fields.value("sigblk").toStdString();
    EXPECT_EQ(standard(fields.value("sigign")), 0u) << fields.value("sigign").toStdString();
    EXPECT_EQ(fields.value("fds"), "0,1,2");
}

TEST(OCRHelperSession, MissingOrUnstartableWorkersFail)
{
    OCRHelperSession none(std::nullopt);
    EXPECT_EQ(ask(none, "pid"), Outcome::of(Kind::failed));
    OCRHelperSession missing(QStringLiteral("/nonexistent/TolviOCRWorker"));
    EXPECT_EQ(ask(missing, "pid"), Outcome::of(Kind::failed));
    EXPECT_EQ(missing.workerProcessId(), 0);
}

TEST(OCRHelperSession, ADecidedRequestStartsNothing)
{
    OCRHelperSession session(fakeWorker);
    auto cancellation = freshCancellation();
    cancellation->finish(Outcome::of(Kind::cancelled), true);
    EXPECT_EQ(session.recognize("pid", *cancellation), Outcome::of(Kind::cancelled));
    EXPECT_EQ(session.workerProcessId(), 0);
}

TEST(OCRHelperSession, ACancelForACompletedRequestLeavesTheWorkerAlone)
{
    OCRHelperSession session(fakeWorker);
    auto first = freshCancellation();
    const pid_t worker = pidOf(session.recognize("pid", *first));
    ASSERT_GT(worker, 0);
    // The closure the session left in the first request now refers to a finished request.
    first->finish(Outcome::of(Kind::cancelled), true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(alive(worker));
    EXPECT_EQ(pidOf(ask(session, "pid")), worker);
}

TEST(OCRHelperSession, ACancelDuringTheRequestTerminatesThenKillsTheWorker)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString marker = folder.filePath(QStringLiteral("term"));
    OCRHelperSession session(fakeWorker);
    const pid_t worker = pidOf(ask(session, "pid"));
    ASSERT_GT(worker, 0);

    auto cancellation = freshCancellation();
    std::optional<Outcome> returned;
    std::chrono::steady_clock::time_point returnedAt;
    std::thread ocrThread([&] {
        returned = session.recognize("hang-ignoring-term:" + QFile::encodeName(marker), *cancellation);
        returnedAt = std::chrono::steady_clock::now();
    });
    // Wait until the worker has its SIGTERM handler in place (it creates the marker file).
    for (int i = 0; i < 500 && !QFile::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(QFile::exists(marker));
    const auto cancelledAt = std::chrono::steady_clock::now();
    cancellation->finish(Outcome::of(Kind::timedOut), true);
    ocrThread.join();

    // The request's own value is failed (the coordinator keeps timedOut); the worker got
    // SIGTERM, ignored it, and was killed half a second later, then reaped.
    ASSERT_TRUE(returned);
    EXPECT_EQ(*returned, Outcome::of(Kind::failed));
    EXPECT_EQ(*cancellation->outcome(), Outcome::of(Kind::timedOut));
    QFile note(marker);
    ASSERT_TRUE(note.open(QIODevice::ReadOnly));
    EXPECT_EQ(note.readAll(), "TERM\n");
    EXPECT_GE(returnedAt - cancelledAt, std::chrono::milliseconds(400));
    EXPECT_FALSE(exists(worker));
    EXPECT_EQ(session.workerProcessId(), 0);
    EXPECT_GT(pidOf(ask(session, "pid")), 0);
}

TEST(OCRHelperSession, AWorkerThatClosedItsInputDoesNotTakeTheAppDown)
{
    // SIGPIPE keeps its default action (terminate) in this process.
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
    OCRHelperSession session(fakeWorker);
    EXPECT_EQ(ask(session, "close-input"), Outcome::recognized(QStringLiteral("closed")));
    const pid_t worker = session.workerProcessId();
    ASSERT_TRUE(alive(worker));
    // The next request is written into a pipe nobody reads: failed, and we are still here.
    EXPECT_EQ(ask(session, "pid"), Outcome::of(Kind::failed));
    EXPECT_FALSE(exists(worker));
    EXPECT_GT(pidOf(ask(session, "pid")), 0);
}

TEST(OCRHelperSession, TheWorkerIsFoundOnlyInItsFolderBesideTheAppsOwnExecutable)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(OCRHelperSession::workerProgramName());
    EXPECT_EQ(OCRHelperSession::executableIn(folder.path()), std::nullopt);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    EXPECT_EQ(OCRHelperSession::executableIn(folder.path()), std::nullopt); // not executable
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(OCRHelperSession::executableIn(folder.path()), path);

    QTemporaryDir other;
    ASSERT_TRUE(QDir(other.path()).mkdir(OCRHelperSession::workerProgramName()));
    EXPECT_EQ(OCRHelperSession::executableIn(other.path()), std::nullopt); // a folder

    // A worker in the current folder is never picked up: the lookup starts from the
    // executable of this very process.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const auto found = OCRHelperSession::bundledExecutable();
    QDir::setCurrent(previous);
    const QString ownFolder = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
    EXPECT_EQ(found, OCRHelperSession::executableIn(OCRHelperSession::workerDirectory(ownFolder)));
    EXPECT_NE(found, std::optional<QString>(path));

    // The same rule in the build tree and in an installed tree: bin/ and libexec/tolvi/ of one prefix.
    EXPECT_EQ(OCRHelperSession::workerDirectory(QStringLiteral("/usr/local/bin")), QStringLiteral("/usr/local/libexec/tolvi"));
    EXPECT_EQ(OCRHelperSession::workerDirectory(QStringLiteral("/home/me/.local/bin/")),
              QStringLiteral("/home/me/.local/libexec/tolvi"));
}

TEST(OCRHelperSession, TheCoordinatorsDeadlineStopsAWorkerThatIgnoresSIGTERM)
{
    // Real clock, real timer thread: the deadline decides timedOut at once, the worker gets
    // SIGTERM, ignores it, is killed half a second later, and only then is the slot free. The
    // deadline leaves the worker time to start and put its handler in place even on a busy
    // machine; SIGTERM before that would end it at once.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString marker = folder.filePath(QStringLiteral("term"));
    constexpr std::chrono::milliseconds deadline{2000};
    ImageOCRService::Coordinator coordinator(deadline.count() / 1000.0);
    OCRHelperSession session(fakeWorker);
    auto operation = [&session](const QByteArray& data, Cancellation& cancellation) {
        return session.recognize(data, cancellation);
    };

    std::promise<Outcome> decided;
    const auto start = std::chrono::steady_clock::now();
    coordinator.run("hang-ignoring-term:" + QFile::encodeName(marker), operation,
                    [&decided](const Outcome& outcome) { decided.set_value(outcome); });
    EXPECT_EQ(decided.get_future().get(), Outcome::of(Kind::timedOut));
    EXPECT_GE(std::chrono::steady_clock::now() - start, deadline - std::chrono::milliseconds(50));

    // Busy until the killed worker has been reaped, then a fresh worker serves the next request.
    Outcome next = Outcome::of(Kind::busy);
    for (int attempt = 0; attempt < 300 && next.kind == Kind::busy; ++attempt) {
        std::promise<Outcome> answer;
        coordinator.run("pid", operation, [&answer](const Outcome& outcome) { answer.set_value(outcome); });
        next = answer.get_future().get();
        if (next.kind == Kind::busy)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(next.kind, Kind::recognized);
    EXPECT_GE(std::chrono::steady_clock::now() - start, deadline + std::chrono::milliseconds(400));
    QFile note(marker);
    ASSERT_TRUE(note.open(QIODevice::ReadOnly));
    EXPECT_EQ(note.readAll(), "TERM\n");
}

TEST(OCRWorkerProcess, AReapedWorkerIsNeverSignalled)
{
    // Once reaped, the pid may already belong to an unrelated process.
    auto process = OCRWorkerProcess::launch(fakeWorker, {});
    ASSERT_TRUE(process);
    const pid_t pid = process->pid();
    const SignalWatch watch(pid);
    EXPECT_TRUE(process->isRunning());
    process->closePipes(); // a clean end of input: the worker ends with status 0
    for (int i = 0; i < 500 && process->isRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(process->isRunning());
    // Ended but not reaped: the pid is still held by our zombie, so a signal may go to it.
    EXPECT_FALSE(process->reaped());
    EXPECT_TRUE(process->signal(0));
    EXPECT_EQ(watch.count(), 1);

    process->waitForExit();
    EXPECT_TRUE(process->reaped());
    EXPECT_TRUE(WIFEXITED(process->exitStatus()));
    EXPECT_EQ(WEXITSTATUS(process->exitStatus()), 0);
    EXPECT_FALSE(process->signal(SIGKILL));
    EXPECT_FALSE(process->signal(0));
    EXPECT_EQ(watch.count(), 1);
    process->waitForExit(); // a second wait returns at once
}
