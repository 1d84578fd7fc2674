#pragma once
// A session bus of the test's own: a dbus-daemon with a configuration of its own that activates
// services only from a folder of the test's own (empty unless the test puts a service file there),
// never from the system's service folders, so a desktop's real portals or file manager never
// answer in a test's place. The daemon ends with this object.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace tolvi::test {

class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) {
            m_error = QStringLiteral("dbus-daemon is not installed (package dbus-daemon, scripts/install-deps.sh)");
            return;
        }
        if (!m_folder.isValid()) {
            m_error = QStringLiteral("cannot create a folder for the private bus: ") + m_folder.errorString();
            return;
        }
        const QDir folder(m_folder.path());
        folder.mkpath(QStringLiteral("services"));
        const QString configuration = QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <keep_umask/>\n"
            "  <listen>unix:path=%1</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <servicedir>%2</servicedir>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n")
                                          .arg(folder.filePath(QStringLiteral("bus")).toHtmlEscaped(),
                                               serviceFolder().toHtmlEscaped());
        QFile file(folder.filePath(QStringLiteral("session.conf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(configuration.toUtf8()) != configuration.toUtf8().size()) {
            m_error = QStringLiteral("cannot write the private bus configuration ") + file.fileName();
            return;
        }
        file.close();

        m_daemon.start(program, {QStringLiteral("--config-file=") + file.fileName(), QStringLiteral("--nofork"),
                                 QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(10'000)) {
            m_error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
            return;
        }
        // Generous: the daemon prints its address as soon as it listens, also on a busy machine.
        while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running && m_daemon.waitForReadyRead(30'000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            m_error = QStringLiteral("dbus-daemon printed no address: ")
                + QString::fromLocal8Bit(m_daemon.readAllStandardError());
    }

    ~PrivateSessionBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000))
                m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }

    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // The bus's address; empty when it did not start (error() says why).
    const QString& address() const { return m_address; }
    const QString& error() const { return m_error; }
    // The one folder the bus activates services from.
    QString serviceFolder() const { return QDir(m_folder.path()).filePath(QStringLiteral("services")); }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

} // namespace tolvi::test
