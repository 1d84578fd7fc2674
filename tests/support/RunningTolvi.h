#pragma once
// The real program as a separate process with a private home folder, for the tests that drive it
// as a user would. TOLVI_APP_PATH names the program unless `program` is set.
#include "EventTimeout.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>

#include <unistd.h>

namespace tolvi::test {

struct RunningApp {
    QTemporaryDir home;
    QProcess process;
#ifdef TOLVI_APP_PATH
    QString program = QStringLiteral(TOLVI_APP_PATH);
#else
    QString program;
#endif
    // Set before start(): added to the program's environment (and to later launches').
    QProcessEnvironment extraEnvironment;
    // Set before start() to a descriptor (a pipe): the program's standard output and error go
    // there instead of to the test, and output() has nothing.
    int outputDescriptor = -1;
    // The home folder in use: `home`, or the one start() was given.
    QString root = home.path();

    QProcessEnvironment environment() const
    {
        const QDir homeDir(root);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", homeDir.path());
        env.insert("XDG_DATA_HOME", homeDir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", homeDir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", homeDir.filePath("runtime"));
        env.insert("QT_LOGGING_RULES", "tolvi.*=true");
        env.remove("QT_QPA_PLATFORM");
        env.insert(extraEnvironment);
        return env;
    }

    // In a home of its own, or in `at` (the home of an earlier run).
    void start(const QString& at = QString())
    {
        if (!at.isEmpty())
            root = at;
        const QDir homeDir(root);
        homeDir.mkpath("runtime");
        QFile::setPermissions(homeDir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (outputDescriptor >= 0) {
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            process.setChildProcessModifier([fd = outputDescriptor] {
                ::dup2(fd, STDOUT_FILENO);
                ::dup2(fd, STDERR_FILENO);
            });
        }
        process.start(program, {});
        ASSERT_TRUE(process.waitForStarted(eventTimeoutMs)) << process.errorString().toStdString();
    }

    QByteArray output()
    {
        process.waitForReadyRead(10);
        m_output += process.readAll();
        return m_output;
    }

    // The program the capture compares the next copy with, as it last took it in: its identifier,
    // "none" for no program or Tolvi itself, empty before the capture started. A copy made while
    // this is not the program in front is skipped as made while the program in front changed.
    QString frontApplication()
    {
        static const QByteArray marker = "Tolvi front application: ";
        const QByteArray all = output();
        const qsizetype at = all.lastIndexOf(marker);
        if (at < 0)
            return {};
        const qsizetype start = at + marker.size();
        const qsizetype end = all.indexOf('\n', start);
        return QString::fromUtf8(all.mid(start, end < 0 ? -1 : end - start)).trimmed();
    }

    // Another launch of the program with these arguments (and a launcher's startup id, when
    // given), as a key bound in the desktop's settings makes one; its exit status.
    int launch(const QStringList& arguments, const QByteArray& startupId = {}) const
    {
        QProcess second;
        QProcessEnvironment env = environment();
        if (!startupId.isEmpty())
            env.insert("DESKTOP_STARTUP_ID", startupId);
        second.setProcessEnvironment(env);
        second.start(program, arguments);
        if (!second.waitForFinished(eventTimeoutMs))
            return -1;
        return second.exitCode();
    }

    ~RunningApp()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    QByteArray m_output;
};

} // namespace tolvi::test
