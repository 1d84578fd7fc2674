#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/updater/AppUpdater.h"
#include "Tolvi/updater/FeedUpdateController.h"
#include "Tolvi/updater/UpdateVersion.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include "LocalTlsServer.h"

using namespace tolvi;

namespace {

// Answers every connection on 127.0.0.1 with one canned HTTPS response (or never, when hanging).
class FeedServer : public QObject {
public:
    explicit FeedServer(QByteArray body, int status = 200, bool hang = false)
    {
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this, body, status, hang] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++requests;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, body, status, hang] {
                    const QByteArray request = socket->readAll();
                    if (hang || !request.contains("\r\n\r\n"))
                        return;
                    socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: application/json\r\n"
                                  "Connection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const { return QUrl(QStringLiteral("https://127.0.0.1:%1/feed.json").arg(m_server.serverPort())); }
    int requests = 0;

private:
    tolvi::testing::LocalTlsServer m_server;
};

// A controller that trusts the local servers' certificate.
void trustLocalServers(FeedUpdateController& controller)
{
    controller.setExtraTrustedCertificates({tolvi::testing::LocalTlsIdentity::shared().certificate()});
}

struct Shown {
    QStringList events;
    UpdatePresenter presenter()
    {
        return {[this](const UpdateFeedEntry& e) { events << "available " + e.version + " " + e.downloadPage.toString(); },
                [this](const QString& v) { events << "upToDate " + v; },
                [this](const QString& m) { events << "failed " + m; }};
    }
};

void waitFor(FeedUpdateController& controller)
{
    QDeadlineTimer deadline(5000);
    while (controller.isChecking() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(UpdateVersion, ComparesNumericallyAndRejectsNonVersions)
{
    EXPECT_GT(compareVersions("0.10", "0.9"), 0);
    EXPECT_EQ(compareVersions("1.2", "1.2.0"), 0);
    EXPECT_LT(compareVersions("1.2.0", "1.2.1"), 0);
    EXPECT_LT(compareVersions("banana", "0.0.1"), 0);
    EXPECT_LT(compareVersions("1.2-beta", "1.0"), 0);
    EXPECT_FALSE(isDottedVersion("1..2"));
    EXPECT_FALSE(isDottedVersion(" 1.2"));
}

TEST(UpdateVersion, FeedNeedsAVersionAndAWebAddress)
{
    const auto entry = parseUpdateFeed(R"({"version":"1.4.0","url":"https://example.org/tolvi"})");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->version, "1.4.0");
    EXPECT_EQ(entry->downloadPage, QUrl("https://example.org/tolvi"));
    EXPECT_FALSE(parseUpdateFeed(R"({"version":"1.4.0","url":"file:///etc/passwd"})"));
    EXPECT_FALSE(parseUpdateFeed(R"({"version":"1.4.0","url":"http://example.org/tolvi"})"));
    EXPECT_FALSE(parseUpdateFeed(R"j({"version":"1.4.0","url":"javascript:alert(1)"})j"));
    EXPECT_FALSE(parseUpdateFeed(R"({"version":1.4,"url":"https://example.org"})"));
    EXPECT_FALSE(parseUpdateFeed(R"(["1.4.0"])"));
    EXPECT_FALSE(parseUpdateFeed("<html>"));
}

TEST(FeedUpdateController, OffersOnlyANewerVersionAndKeepsBackgroundChecksQuiet)
{
    InMemoryKeyValueSettings settings;
    FeedServer newer(R"({"version":"0.2.0","url":"https://example.org/get"})");
    FeedServer same(R"({"version":"0.1.0","url":"https://example.org/get"})");
    Shown shown;

    FeedUpdateController fromNewer(newer.url(), "0.1.0", settings, shown.presenter());
    trustLocalServers(fromNewer);
    fromNewer.checkForUpdatesInBackground();
    waitFor(fromNewer);
    EXPECT_EQ(shown.events, QStringList{"available 0.2.0 https://example.org/get"});

    shown.events.clear();
    FeedUpdateController fromSame(same.url(), "0.1.0", settings, shown.presenter());
    trustLocalServers(fromSame);
    fromSame.checkForUpdatesInBackground();
    waitFor(fromSame);
    EXPECT_TRUE(shown.events.isEmpty()) << "a background check is silent without an update";
    fromSame.checkForUpdates();
    waitFor(fromSame);
    EXPECT_EQ(shown.events, QStringList{"upToDate 0.1.0"});
}

TEST(FeedUpdateController, FailuresAreShownOnlyToAUserWhoAsked)
{
    InMemoryKeyValueSettings settings;
    Shown shown;
    FeedServer broken("oops", 500);
    FeedServer huge(QByteArray(200 * 1024, 'x'));
    FeedServer hanging("", 200, true);

    for (FeedServer* server : {&broken, &huge, &hanging}) {
        shown.events.clear();
        FeedUpdateController controller(server->url(), "0.1.0", settings, shown.presenter());
        trustLocalServers(controller);
        controller.setTransferTimeout(300);
        controller.checkForUpdatesInBackground();
        waitFor(controller);
        EXPECT_TRUE(shown.events.isEmpty());
        controller.checkForUpdates();
        waitFor(controller);
        ASSERT_EQ(shown.events.size(), 1);
        EXPECT_TRUE(shown.events.first().startsWith("failed ")) << shown.events.first().toStdString();
    }
}

TEST(FeedUpdateController, QuittingDuringACheckShowsNothing)
{
    InMemoryKeyValueSettings settings;
    Shown shown;
    FeedServer hanging("", 200, true);
    {
        FeedUpdateController controller(hanging.url(), "0.1.0", settings, shown.presenter());
        trustLocalServers(controller);
        controller.checkForUpdates();
        QDeadlineTimer deadline(5000);
        while (hanging.requests == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(hanging.requests, 1);
        ASSERT_TRUE(controller.isChecking());
    }
    EXPECT_TRUE(shown.events.isEmpty()) << "the program is going away: no failure to show";
}

// A feed in clear is never read: a plain-HTTP server sees no request, and a user who asked is
// told there is no feed.
TEST(FeedUpdateController, AFeedInClearIsNeverRequested)
{
    tolvi::testing::PlainListener plain;
    ASSERT_TRUE(plain.isListening());
    InMemoryKeyValueSettings settings;
    Shown shown;
    FeedUpdateController controller(plain.url(QStringLiteral("/feed.json")), "0.1.0", settings, shown.presenter());
    controller.checkForUpdates();
    EXPECT_FALSE(controller.isChecking());
    QDeadlineTimer deadline(200);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(plain.connections(), 0);
    EXPECT_EQ(shown.events, QStringList{"failed This build of Tolvi has no update feed."});
}

TEST(FeedUpdateController, AutomaticChecksFollowTheUserSetting)
{
    InMemoryKeyValueSettings settings;
    Shown shown;
    FeedUpdateController controller(QUrl(), "0.1.0", settings, shown.presenter());
    EXPECT_TRUE(controller.automaticallyChecksForUpdates());
    settings.setBoolean(FeedUpdateController::kAutomaticChecksKey, false);
    EXPECT_FALSE(controller.automaticallyChecksForUpdates());
}

namespace {
struct CountingController : UpdateController {
    bool automatic = true;
    int background = 0, manual = 0, downloadsSwitchedOff = 0;
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyDownloadsUpdates(bool enabled) override { downloadsSwitchedOff += enabled ? 0 : 1; }
    void checkForUpdatesInBackground() override { ++background; }
    void checkForUpdates() override { ++manual; }
};
} // namespace

TEST(AppUpdater, OneQueuedBackgroundCheckWhenAllowedAndNoneFromElsewhere)
{
    QList<std::function<void()>> queue;
    auto mainQueue = [&](std::function<void()> block) { queue << std::move(block); };
    CountingController* made = nullptr;
    auto factory = [&](bool automatic) {
        return [&, automatic]() -> std::unique_ptr<UpdateController> {
            auto controller = std::make_unique<CountingController>();
            controller->automatic = automatic;
            made = controller.get();
            return controller;
        };
    };

    AppUpdater updater(false, factory(true), mainQueue);
    ASSERT_TRUE(updater.canCheckForUpdates());
    EXPECT_EQ(made->downloadsSwitchedOff, 1);
    EXPECT_EQ(made->background, 0) << "the check is posted, not run during start-up";
    ASSERT_EQ(queue.size(), 1);
    queue.takeFirst()();
    EXPECT_EQ(made->background, 1);
    updater.checkForUpdates();
    EXPECT_EQ(made->manual, 1);

    AppUpdater quiet(false, factory(false), mainQueue);
    queue.takeFirst()();
    EXPECT_EQ(made->background, 0);

    made = nullptr;
    AppUpdater packaged(true, factory(true), mainQueue);
    EXPECT_FALSE(packaged.canCheckForUpdates());
    EXPECT_EQ(made, nullptr);
    EXPECT_TRUE(queue.isEmpty());
    packaged.checkForUpdates();  // nothing to do, nothing breaks
}
