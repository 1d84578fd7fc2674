// A stand-in for the OCR worker with scripted behaviour: each request's payload is a command.
//   pid                    recognized, the text is this process's pid
//   env                    recognized, the text describes the process (environment names,
//                          arguments, standard error, signal mask, open descriptors)
//   text:<t>               recognized with <t> exactly
//   kind:<k>               a reply of kind <k> without text (then ends, as the real worker
//                          does, for failed and unsupportedImage)
//   raw:<bytes>            <bytes> as the reply frame
//   exit                   ends without a reply
//   hang                   never replies
//   hang-ignoring-term:<f> ignores SIGTERM (noting each one in file <f>), never replies
//   close-input            closes its standard input, replies "closed", lives on for 5 s

#include "ocr-protocol/OCRWire.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

int noteFd = -1;

void noteTerm(int)
{
    const char text[] = "TERM\n";
    if (noteFd >= 0)
        (void)!write(noteFd, text, sizeof text - 1);
}

void reply(const QByteArray& json)
{
    if (tolvi::OCRWire::writeFrame(json, STDOUT_FILENO, tolvi::OCRWire::maximumResponseBytes))
        _exit(74);
}

void replyText(const QString& text)
{
    reply(tolvi::OCRWire::encodeResponse({tolvi::OCRWire::Response::Kind::recognized, text}));
}

QString describeProcess(int argc)
{
    QStringList lines;
    QStringList names;
    for (char** entry = environ; *entry; ++entry)
        names.append(QString::fromLocal8Bit(*entry).section(QLatin1Char('='), 0, 0));
    names.sort();
    lines.append(QStringLiteral("env=") + names.join(QLatin1Char(',')));
    lines.append(QStringLiteral("argc=%1").arg(argc));

    struct stat errorInfo {};
    struct stat nullInfo {};
    const bool stderrNull = fstat(STDERR_FILENO, &errorInfo) == 0 && stat("/dev/null", &nullInfo) == 0
        && S_ISCHR(errorInfo.st_mode) && errorInfo.st_rdev == nullInfo.st_rdev;
    lines.append(QStringLiteral("stderr=") + (stderrNull ? QStringLiteral("null") : QStringLiteral("other")));

    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigBlk:"))
                lines.append(QStringLiteral("sigblk=") + QString::fromLatin1(line.mid(7).trimmed()));
            if (line.startsWith("SigIgn:"))
                lines.append(QStringLiteral("sigign=") + QString::fromLatin1(line.mid(7).trimmed()));
        }
        status.close();
    }
    QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    // Listing the folder opens one more descriptor; it is gone again by now.
    QStringList open;
    for (const QString& fd : fds) {
        if (fcntl(fd.toInt(), F_GETFD) != -1)
            open.append(fd);
    }
    lines.append(QStringLiteral("fds=") + open.join(QLatin1Char(',')));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

int main(int argc, char**)
{
    for (;;) {
        const auto request = tolvi::OCRWire::readFrame(STDIN_FILENO, 12'000'000);
        if (request.error)
            return 74;
        if (!request.payload)
            return 0;
        const QByteArray command = *request.payload;
        if (command == "pid") {
            replyText(QString::number(getpid()));
        } else if (command == "env") {
            replyText(describeProcess(argc));
        } else if (command.startsWith("text:")) {
            replyText(QString::fromUtf8(command.mid(5)));
        } else if (command.startsWith("kind:")) {
            const QByteArray kind = command.mid(5);
            reply("{\"kind\":\"" + kind + "\"}");
            if (kind == "failed" || kind == "unsupportedImage")
                return 0;
        } else if (command.startsWith("raw:")) {
            reply(command.mid(4));
        } else if (command == "exit") {
            return 0;
        } else if (command == "hang") {
            for (;;)
                pause();
        } else if (command.startsWith("hang-ignoring-term:")) {
            noteFd = open(command.mid(19).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            struct sigaction action {};
            action.sa_handler = noteTerm;
            sigemptyset(&action.sa_mask);
            sigaction(SIGTERM, &action, nullptr);
            for (;;)
                pause();
        } else if (command == "close-input") {
            close(STDIN_FILENO);
            replyText(QStringLiteral("closed"));
            sleep(5);
            return 0;
        } else {
            // Anything else is treated as an image the fake cannot read.
            reply("{\"kind\":\"unsupportedImage\"}");
            return 0;
        }
    }
}
