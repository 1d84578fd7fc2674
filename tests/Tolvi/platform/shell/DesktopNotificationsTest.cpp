// Notifications on a private session bus of the test's own (its config names only the test's
// empty service folder, so no notification server of the machine can be started on it): sent to
// a server where one runs, shown at once in a window of ours where none does.
#include "Tolvi/platform/shell/DesktopNotifications.h"
#include "Tolvi/platform/shell/ShortNoticeWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid())
            return;
        const QString services = m_dir.filePath(QStringLiteral("services"));
        QDir().mkpath(services);
        const QString config = m_dir.filePath(QStringLiteral("session.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig>\n"
                                  "  <type>session</type>\n"
                                  "  <listen>unix:dir=%1</listen>\n"
                                  "  <servicedir>%2</servicedir>\n"
                                  "  <policy context=\"default\">\n"
                                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                  "    <allow eavesdrop=\"true\"/>\n"
                                  "    <allow own=\"*\"/>\n"
                                  "  </policy>\n"
                                  "</busconfig>\n")
                       .arg(m_dir.path().toHtmlEscaped(), services.toHtmlEscaped())
                       .toUtf8());
        file.close();
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

// The session's notification server.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    bool refuses = false;
    QStringList capabilities{QStringLiteral("body"), QStringLiteral("body-markup")};
    QStringList summaries;
    QStringList bodies;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int)
    {
        if (refuses) {
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("too many notifications"));
            return 0;
        }
        summaries.append(summary);
        bodies.append(body);
        return uint(summaries.size());
    }
};

ShortNoticeWindow* shownNotice()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* notice = qobject_cast<ShortNoticeWindow*>(widget); notice && notice->isVisible())
            return notice;
    }
    return nullptr;
}

} // namespace

TEST(DesktopNotifications, AServerGetsTheNoticeEscapedWhereItReadsMarkupAndNoWindowOfOursShows)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection server = QDBusConnection::connectToBus(bus.address, QStringLiteral("server"));
    FakeNotificationServer notifications;
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                      QDBusConnection::ExportAllSlots));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());

    int undelivered = 0;
    showDesktopNotification(client, QStringLiteral("The clip is on the clipboard"),
                            QStringLiteral("<b>Paste</b> failed. Press Ctrl+V to paste."), [&] { ++undelivered; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications.bodies.isEmpty(); }, 5000));
    EXPECT_EQ(notifications.summaries, QStringList{QStringLiteral("The clip is on the clipboard")});
    EXPECT_EQ(notifications.bodies, QStringList{QStringLiteral("&lt;b&gt;Paste&lt;/b&gt; failed. Press Ctrl+V to paste.")});
    QTest::qWait(50);
    EXPECT_EQ(undelivered, 0);

    // A server that shows bodies as plain text gets the text as it is.
    notifications.capabilities = QStringList{QStringLiteral("body"), QStringLiteral("actions")};
    showDesktopNotification(client, QStringLiteral("Tom & Jerry's <app>"), QStringLiteral("R&D <i>notes</i> &amp; more"),
                            [&] { ++undelivered; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications.bodies.size() == 2; }, 5000));
    EXPECT_EQ(notifications.bodies.last(), QStringLiteral("R&D <i>notes</i> &amp; more"));
    EXPECT_EQ(notifications.summaries.last(), QStringLiteral("Tom & Jerry's <app>"));
    EXPECT_EQ(undelivered, 0);

    // A server that answers with an error showed nothing either.
    notifications.refuses = true;
    showDesktopNotification(client, QStringLiteral("s"), QStringLiteral("b"), [&] { ++undelivered; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return undelivered == 1; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(undelivered, 1);

    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("server"));
}

TEST(DesktopNotifications, WithoutAServerOrABusTheUndeliveredNoticeIsReportedOnce)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    // The session bus of this process is the private one, with no notification server on it.
    ASSERT_TRUE(qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8()));
    showNotificationOrOwnNotice(QStringLiteral("The clip is on the clipboard"), QStringLiteral("Press Ctrl+V to paste."));
    ASSERT_TRUE(QTest::qWaitFor([] { return shownNotice() != nullptr; }, 5000));
    EXPECT_EQ(shownNotice()->text(), QStringLiteral("Press Ctrl+V to paste."));
    shownNotice()->hide();

    QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("alone"));
    ASSERT_TRUE(client.isConnected());
    int undelivered = 0;
    showDesktopNotification(client, QStringLiteral("s"), QStringLiteral("b"), [&] { ++undelivered; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return undelivered == 1; }, 5000));
    QDBusConnection::disconnectFromBus(QStringLiteral("alone"));

    // No bus at all.
    QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    showDesktopNotification(none, QStringLiteral("s"), QStringLiteral("b"), [&] { ++undelivered; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return undelivered == 2; }, 5000));
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

TEST(ShortNoticeWindow, ShowsThePlainTextAtOnceWithoutTakingTheFocusAndGoesAwayByItself)
{
    // The app in front keeps the focus: the user is about to press Ctrl+V there.
    QWidget front;
    front.resize(200, 100);
    front.show();
    front.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&front));

    ShortNoticeWindow* notice =
        ShortNoticeWindow::showNotice(QStringLiteral("<i>Tolvi</i> & co. Press Ctrl+V to paste."), std::chrono::milliseconds(300));
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(shownNotice(), notice);
    EXPECT_EQ(notice->text(), QStringLiteral("<i>Tolvi</i> & co. Press Ctrl+V to paste."));
    EXPECT_EQ(notice->findChild<QLabel*>()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(notice->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(notice->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    QTest::qWait(50);
    EXPECT_TRUE(front.isActiveWindow());
    EXPECT_FALSE(notice->isActiveWindow());

    // A second notice replaces the first in the same window.
    EXPECT_EQ(ShortNoticeWindow::showNotice(QStringLiteral("Second"), std::chrono::milliseconds(300)), notice);
    EXPECT_EQ(notice->text(), QStringLiteral("Second"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notice->isVisible(); }, 5000));
    EXPECT_EQ(shownNotice(), nullptr);
}

#include "DesktopNotificationsTest.moc"
