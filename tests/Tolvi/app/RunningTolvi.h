#pragma once
// The real program as a separate process with a private home folder, for the tests that drive it
// as a user would. TOLVI_APP_PATH names the program.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

struct RunningApp {
    QTemporaryDir home;
    QProcess process;
    // Set before start(): added to the program's environment (and to later launches').
    QProcessEnvironment extraEnvironment;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("QT_LOGGING_RULES", "tolvi.*=true");
        env.remove("QT_QPA_PLATFORM");
        env.insert(extraEnvironment);
        return env;
    }

    void start()
    {
        QDir(home.path()).mkpath("runtime");
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(TOLVI_APP_PATH, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    QByteArray output()
    {
        process.waitForReadyRead(10);
        m_output += process.readAll();
        return m_output;
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
        second.start(TOLVI_APP_PATH, arguments);
        if (!second.waitForFinished(10000))
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
