#include "PeerProcess.h"

#include "HungSelectionOwner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <csignal>

namespace tolvi::test {

PeerProcess::PeerProcess()
{
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardErrorFile(QProcess::nullDevice());
}

PeerProcess::~PeerProcess()
{
    stop();
}

QString PeerProcess::programPath()
{
    return QStringLiteral(TOLVI_TEST_PEER_PATH);
}

void PeerProcess::setPlatform(const QString& platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    process_.setProcessEnvironment(environment);
}

bool PeerProcess::start()
{
    process_.start(programPath(), {});
    if (!process_.waitForStarted(eventTimeoutMs))
        return false;
    return command("pid", "pid ").has_value();
}

void PeerProcess::readLines()
{
    buffer_.append(process_.readAllStandardOutput());
    qsizetype end;
    while ((end = buffer_.indexOf('\n')) >= 0) {
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.startsWith("text "))
            lastText_ = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        lines_.append(line);
    }
}

std::optional<QByteArray> PeerProcess::command(const QByteArray& line, const QByteArray& answerPrefix, int timeoutMs)
{
    if (process_.state() != QProcess::Running)
        return std::nullopt;
    process_.write(line + '\n');
    process_.waitForBytesWritten(timeoutMs);
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readLines();
        for (qsizetype i = 0; i < lines_.size(); ++i) {
            if (lines_.at(i).startsWith(answerPrefix)) {
                const QByteArray answer = lines_.at(i);
                lines_.remove(0, i + 1);
                return answer;
            }
        }
        if (deadline.hasExpired())
            return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        process_.waitForReadyRead(10);
    }
}

bool PeerProcess::copy(const QList<std::pair<QString, QByteArray>>& representations)
{
    QByteArray line = "copy";
    for (const auto& [mime, bytes] : representations)
        line += ' ' + mime.toLatin1() + ' ' + bytes.toBase64();
    return command(line, "ok copy").has_value();
}

std::optional<quint32> PeerProcess::showWindow()
{
    const std::optional<QByteArray> answer = command("window", "window ");
    if (!answer)
        return std::nullopt;
    return answer->mid(7).toUInt();
}

bool PeerProcess::waitForText(const std::function<bool(const QString&)>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readLines();
        if (predicate(lastText_))
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        process_.waitForReadyRead(10);
    }
}

void PeerProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    resume();
    process_.write("quit\n");
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

void PeerProcess::suspend()
{
    if (process_.state() == QProcess::Running)
        ::kill(pid_t(process_.processId()), SIGSTOP);
}

void PeerProcess::resume()
{
    if (process_.state() == QProcess::Running)
        ::kill(pid_t(process_.processId()), SIGCONT);
}

QProcess* startXclip(const QStringList& arguments, const QByteArray& input)
{
    auto* process = new QProcess;
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(QStringLiteral("xclip"), arguments);
    if (!process->waitForStarted(eventTimeoutMs)) {
        delete process;
        return nullptr;
    }
    process->write(input);
    process->closeWriteChannel();
    return process;
}

QProcess* startXclipOwning(const QStringList& arguments, const QByteArray& input)
{
    const std::uint32_t before = clipboardOwner();
    QProcess* process = startXclip(arguments, input);
    if (!process)
        return nullptr;
    if (!waitUntil([&] {
            const std::uint32_t owner = clipboardOwner();
            return owner != 0 && owner != before;
        })) {
        process->kill();
        process->waitForFinished(2000);
        delete process;
        return nullptr;
    }
    return process;
}

bool activateWindow(quint32 window)
{
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(window)}) == 0;
}

bool activateUntil(quint32 window, const std::function<bool()>& isActive, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        activateWindow(window);
        if (waitUntil(isActive, 300))
            return true;
    }
    return false;
}

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace tolvi::test

namespace tolvi::test {

void pause(int milliseconds)
{
    QElapsedTimer elapsed;
    elapsed.start();
    waitUntil([&] { return elapsed.elapsed() >= milliseconds; }, milliseconds + 1000);
}

TickWatch::TickWatch(int intervalMs, std::function<void()> onTick) : onTick_(std::move(onTick))
{
    sinceTick_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        longestGap_ = qMax(longestGap_, sinceTick_.restart());
        ++ticks_;
        if (onTick_)
            onTick_();
    });
    timer_.start(intervalMs);
}

} // namespace tolvi::test
