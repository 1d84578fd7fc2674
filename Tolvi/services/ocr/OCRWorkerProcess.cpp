#include "Tolvi/services/ocr/OCRWorkerProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tolvi {

namespace {

void closeQuietly(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Moves a descriptor above 2 so that the child's dup2 onto 0 or 1 never meets itself.
bool liftAboveStandardStreams(int& fd)
{
    if (fd > STDERR_FILENO)
        return true;
    const int lifted = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    fd = lifted;
    return lifted >= 0;
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    bool actionsReady = false;
    bool attributesReady = false;
    ~SpawnSetup()
    {
        if (actionsReady)
            posix_spawn_file_actions_destroy(&actions);
        if (attributesReady)
            posix_spawnattr_destroy(&attributes);
    }
};

} // namespace

const QStringList& OCRWorkerProcess::allowedEnvironment()
{
    static const QStringList names{QStringLiteral("HOME"), QStringLiteral("TMPDIR"),  QStringLiteral("LANG"),
                                   QStringLiteral("LC_ALL"), QStringLiteral("USER"), QStringLiteral("LOGNAME"),
                                   QStringLiteral("PATH")};
    return names;
}

std::unique_ptr<OCRWorkerProcess> OCRWorkerProcess::launch(const QString& executable, const QStringList& arguments)
{
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0)
        return nullptr;
    if (pipe2(output, O_CLOEXEC) != 0) {
        closeQuietly(input[0]);
        closeQuietly(input[1]);
        return nullptr;
    }
    auto closeAll = [&] {
        for (int* fd : {&input[0], &input[1], &output[0], &output[1]})
            closeQuietly(*fd);
    };
    for (int* fd : {&input[0], &input[1], &output[0], &output[1]}) {
        if (!liftAboveStandardStreams(*fd)) {
            closeAll();
            return nullptr;
        }
    }

    SpawnSetup setup;
    setup.actionsReady = posix_spawn_file_actions_init(&setup.actions) == 0;
    setup.attributesReady = posix_spawnattr_init(&setup.attributes) == 0;
    if (!setup.actionsReady || !setup.attributesReady) {
        closeAll();
        return nullptr;
    }
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    // Signals this program ignores would stay ignored across exec; the worker starts with
    // every action at its default (SIGTERM included, which stops it).
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (signalNumber != SIGKILL && signalNumber != SIGSTOP)
            sigaddset(&defaults, signalNumber);
    }
    bool ready = posix_spawnattr_setsigmask(&setup.attributes, &emptyMask) == 0
        && posix_spawnattr_setsigdefault(&setup.attributes, &defaults) == 0
        && posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0
        && posix_spawn_file_actions_adddup2(&setup.actions, input[0], STDIN_FILENO) == 0
        && posix_spawn_file_actions_adddup2(&setup.actions, output[1], STDOUT_FILENO) == 0
        && posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0
        && posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1) == 0;
    if (!ready) {
        closeAll();
        return nullptr;
    }

    const QByteArray path = QFile::encodeName(executable);
    std::vector<QByteArray> argumentBytes{path};
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> environmentBytes;
    for (const QString& name : allowedEnvironment()) {
        const QByteArray key = name.toLatin1();
        if (qEnvironmentVariableIsSet(key.constData()))
            environmentBytes.push_back(key + '=' + qgetenv(key.constData()));
    }
    std::vector<char*> envp;
    for (QByteArray& entry : environmentBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.constData(), &setup.actions, &setup.attributes, argv.data(), envp.data());
    // This program keeps only its own ends; the worker's ends live on in the worker.
    closeQuietly(input[0]);
    closeQuietly(output[1]);
    if (spawned != 0) {
        closeQuietly(input[1]);
        closeQuietly(output[0]);
        return nullptr;
    }
    return std::unique_ptr<OCRWorkerProcess>(new OCRWorkerProcess(pid, input[1], output[0]));
}

OCRWorkerProcess::~OCRWorkerProcess()
{
    closePipes();
}

bool OCRWorkerProcess::isRunning() const
{
    std::lock_guard guard(m_lock);
    if (m_reaped)
        return false;
    siginfo_t info{};
    // WNOWAIT: look without reaping, so the pid stays ours.
    if (waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == 0;
}

bool OCRWorkerProcess::signal(int signalNumber)
{
    std::lock_guard guard(m_lock);
    if (m_reaped)
        return false;
    return ::kill(m_pid, signalNumber) == 0;
}

void OCRWorkerProcess::waitForExit()
{
    {
        std::lock_guard guard(m_lock);
        if (m_reaped)
            return;
    }
    // Wait for the end without reaping, then reap under the lock that signalling takes.
    siginfo_t info{};
    while (waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    std::lock_guard guard(m_lock);
    if (m_reaped)
        return;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(m_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    m_reaped = true;
    m_status = status;
}

bool OCRWorkerProcess::reaped() const
{
    std::lock_guard guard(m_lock);
    return m_reaped;
}

int OCRWorkerProcess::exitStatus() const
{
    std::lock_guard guard(m_lock);
    return m_status;
}

void OCRWorkerProcess::closePipes()
{
    closeQuietly(m_input);
    closeQuietly(m_output);
}

} // namespace tolvi
