#include "WorkerProcess.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvi::bench {

WorkerProcess::WorkerProcess(const QString& executable)
{
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray path = QFile::encodeName(executable);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    if (posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv, environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    m_input = input[1];
    m_output = output[0];
}

WorkerProcess::~WorkerProcess()
{
    finish();
}

std::optional<OCRWire::Response> WorkerProcess::request(const QByteArray& image)
{
    if (OCRWire::writeFrame(image, m_input, OCRRasterPolicy::maximumBytes))
        return std::nullopt;
    const auto reply = OCRWire::readFrame(m_output, OCRWire::maximumResponseBytes);
    if (!reply.payload)
        return std::nullopt;
    return OCRWire::decodeResponse(*reply.payload);
}

long WorkerProcess::peakResidentKilobytes() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

double WorkerProcess::cpuMilliseconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields after the command name: state is field 3; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

int WorkerProcess::finish()
{
    if (m_input >= 0)
        close(m_input);
    if (m_output >= 0)
        close(m_output);
    m_input = m_output = -1;
    int status = -1;
    if (m_pid > 0) {
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    return status;
}

} // namespace tolvi::bench
