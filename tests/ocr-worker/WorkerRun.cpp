#include "WorkerRun.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvi::testing {

namespace {

QByteArray drain(int fd)
{
    QByteArray all;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        all.append(buffer, got);
    }
    return all;
}

} // namespace

WorkerRun::WorkerRun(const QString& executable, bool brokenOutput)
{
    int input[2], output[2], error[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, error[1], 2);
    const QByteArray path = QFile::encodeName(executable);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    if (posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv, environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    close(error[1]);
    m_input = input[1];
    m_output = output[0];
    m_error = error[0];
    if (brokenOutput) {
        close(m_output);
        m_output = -1;
    }
}

WorkerRun::~WorkerRun()
{
    wait();
    if (m_output >= 0)
        close(m_output);
    if (m_error >= 0)
        close(m_error);
}

bool WorkerRun::sendFrame(const QByteArray& payload)
{
    return !OCRWire::writeFrame(payload, m_input, OCRRasterPolicy::maximumBytes + 10);
}

bool WorkerRun::sendRaw(const QByteArray& bytes)
{
    return write(m_input, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

void WorkerRun::closeInput()
{
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
}

std::optional<OCRWire::Response> WorkerRun::readReply()
{
    const auto frame = OCRWire::readFrame(m_output, OCRWire::maximumResponseBytes);
    if (!frame.payload)
        return std::nullopt;
    return OCRWire::decodeResponse(*frame.payload);
}

int WorkerRun::wait()
{
    closeInput();
    if (m_pid > 0) {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        m_pid = -1;
    }
    return m_status;
}

QByteArray WorkerRun::remainingOutput()
{
    return drain(m_output);
}

QByteArray WorkerRun::errorOutput()
{
    return drain(m_error);
}

} // namespace tolvi::testing
