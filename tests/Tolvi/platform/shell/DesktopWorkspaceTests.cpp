#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <mutex>

using namespace tolvi;
using tolvi::test::PrivateSessionBus;

namespace {

// A stand-in file manager on a private bus: remembers the items it was asked to show.
// With holdsReplies set it answers nothing until failHeldCalls(), like a file manager that hangs.
class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    explicit FakeFileManager(bool holdsReplies = false) : m_holdsReplies(holdsReplies) {}

    QStringList shownItems() const
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

    // Answers every held call with an error; call on the manager's own thread.
    Q_INVOKABLE void failHeldCalls()
    {
        std::lock_guard lock(m_mutex);
        for (const QDBusMessage& held : m_held)
            m_connection.send(held.createErrorReply(QDBusError::Failed, QStringLiteral("gave up")));
        m_held.clear();
    }

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        std::lock_guard lock(m_mutex);
        m_items += uris;
        if (m_holdsReplies) {
            setDelayedReply(true);
            m_held.append(message());
            m_connection = connection();
        }
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_items;
    bool m_holdsReplies;
    QList<QDBusMessage> m_held;
    QDBusConnection m_connection{QString()};
};

TEST(SystemDesktopWorkspace, RevealAsksTheFileManagerToSelectTheFile)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.error().isEmpty()) << bus.error().toStdString();

    // The file manager answers from its own thread, as another process would.
    QThread serviceThread;
    serviceThread.start();
    FakeFileManager manager;
    manager.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), QStringLiteral("file-manager"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));

    QDBusConnection client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("client"));
    QList<QUrl> opened;
    SystemDesktopWorkspace workspace(client, [&](const QUrl& url) {
        opened.append(url);
        return true;
    });

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tolvi Diagnostics #1.txt"));
    EXPECT_TRUE(workspace.revealFile(file));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.shownItems().isEmpty(); }, 5000));
    EXPECT_EQ(manager.shownItems(), QStringList{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)});
    QTest::qWait(100); // the answer arrives: nothing else is opened
    EXPECT_TRUE(opened.isEmpty());

    service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("file-manager"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    serviceThread.quit();
    serviceThread.wait();
}

TEST(SystemDesktopWorkspace, RevealFallsBackToOpeningTheFolder)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.error().isEmpty()) << bus.error().toStdString();
    QList<QUrl> opened;
    const auto opener = [&](const QUrl& url) {
        opened.append(url);
        return true;
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.json"));

    // No bus at all.
    SystemDesktopWorkspace noBus(QDBusConnection(QStringLiteral("not connected")), opener);
    EXPECT_TRUE(noBus.revealFile(file));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(dir.path()));

    // A bus on which no file manager is registered.
    {
        QDBusConnection client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("lonely"));
        SystemDesktopWorkspace workspace(client, opener, 2000);
        EXPECT_TRUE(workspace.revealFile(file));
        EXPECT_TRUE(QTest::qWaitFor([&] { return opened.size() == 2; }, 5000));
        ASSERT_EQ(opened.size(), 2);
        EXPECT_EQ(opened.last(), QUrl::fromLocalFile(dir.path()));
        QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));
    }

    // The failure of the fallback is reported.
    SystemDesktopWorkspace failing(QDBusConnection(QStringLiteral("not connected")),
                                   [](const QUrl&) { return false; });
    EXPECT_FALSE(failing.revealFile(file));
    EXPECT_FALSE(failing.revealFile(QString()));
}

// A file manager that takes the call and does not answer never holds up the main thread: the
// reveal returns at once, timers keep firing while the call is out, and the folder is opened when
// the call fails.
TEST(SystemDesktopWorkspace, AFileManagerThatDoesNotAnswerNeverBlocks)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.error().isEmpty()) << bus.error().toStdString();
    QThread serviceThread;
    serviceThread.start();
    FakeFileManager manager(true);
    manager.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), QStringLiteral("hanging-manager"));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("patient-client"));
    QList<QUrl> opened;
    // A bus time-out far beyond the test's: a call that waited for it would fail the test.
    SystemDesktopWorkspace workspace(
        client,
        [&](const QUrl& url) {
            opened.append(url);
            return true;
        },
        600'000);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tolvi-History.json"));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    EXPECT_TRUE(workspace.revealFile(file));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.shownItems().isEmpty(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 5; }, 5000));
    EXPECT_TRUE(opened.isEmpty());

    QMetaObject::invokeMethod(&manager, "failHeldCalls", Qt::BlockingQueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(dir.path())});

    service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("hanging-manager"));
    QDBusConnection::disconnectFromBus(QStringLiteral("patient-client"));
    serviceThread.quit();
    serviceThread.wait();
}

TEST(SystemDesktopWorkspace, OpenUrlRefusesInvalidAddresses)
{
    QList<QUrl> opened;
    SystemDesktopWorkspace workspace(QDBusConnection(QStringLiteral("not connected")), [&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    EXPECT_FALSE(workspace.openUrl(QUrl()));
    EXPECT_TRUE(workspace.openUrl(QUrl(QStringLiteral("https://tolvi.app/support"))));
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://tolvi.app/support"))});
}

} // namespace

#include "DesktopWorkspaceTests.moc"
