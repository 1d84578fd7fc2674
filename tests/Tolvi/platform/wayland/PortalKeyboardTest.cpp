// The remote-desktop portal keyboard against a portal of the test's own on a private bus: the user
// is asked once, the restore token is kept and given back, a refusal types nothing, and Ctrl+V goes
// out as four key symbols in order.
#include "Tolvi/platform/wayland/PortalKeyboard.h"

#include <QCoreApplication>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTimer>

#include "PeerProcess.h"
#include "PrivateSessionBus.h"

#include <gtest/gtest.h>

using namespace tolvi;
using tolvi::test::PrivateSessionBus;
using tolvi::test::waitUntil;

namespace {

// The portal's RemoteDesktop interface, answering each request through its Response signal.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
public:
    explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}

    uint startAnswer = 0;  // 0 granted, 1 cancelled by the user
    QList<QVariantMap> selections;
    int dialogs = 0;
    int issuedTokens = 0;
    QList<std::pair<int, uint>> keysyms;
    QStringList validTokens;

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options)
    {
        const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                                    .arg(sender(), options.value(QStringLiteral("session_handle_token")).toString());
        return respond(options, 0, {{QStringLiteral("session_handle"), session}});
    }
    QDBusObjectPath SelectDevices(const QDBusObjectPath&, const QVariantMap& options)
    {
        selections.append(options);
        return respond(options, 0, {});
    }
    QDBusObjectPath Start(const QDBusObjectPath&, const QString&, const QVariantMap& options)
    {
        // A valid token restores the grant without asking; each token works once.
        const QString token = selections.isEmpty() ? QString()
                                                   : selections.constLast().value(QStringLiteral("restore_token")).toString();
        if (!validTokens.removeOne(token))
            ++dialogs;
        if (startAnswer != 0)
            return respond(options, startAnswer, {});
        const QString fresh = QStringLiteral("token-%1").arg(++issuedTokens);
        validTokens.append(fresh);
        return respond(options, 0, {{QStringLiteral("devices"), uint(1)}, {QStringLiteral("restore_token"), fresh}});
    }
    void NotifyKeyboardKeysym(const QDBusObjectPath&, const QVariantMap&, int keysym, uint state)
    {
        keysyms.append({keysym, state});
    }

private:
    QString sender() const
    {
        QString name = message().service();
        return name.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    }
    QDBusObjectPath respond(const QVariantMap& options, uint response, const QVariantMap& results)
    {
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender(), options.value(QStringLiteral("handle_token")).toString());
        // The answer follows the call's reply, as a portal's dialog would.
        QTimer::singleShot(0, this, [this, path, response, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            bus_.send(signal);
        });
        return QDBusObjectPath(path);
    }

    QDBusConnection bus_;
};

class PortalKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_unique<PrivateSessionBus>();
        ASSERT_TRUE(bus->error().isEmpty()) << bus->error().toStdString();
        address = bus->address();
        portalBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("portal")));
        clientBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("client")));
        ASSERT_TRUE(portalBus->isConnected() && clientBus->isConnected());
        portal = std::make_unique<FakePortal>(*portalBus);
    }
    void TearDown() override
    {
        portal.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        bus.reset();
    }
    void offerPortal()
    {
        ASSERT_TRUE(portalBus->registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        ASSERT_TRUE(portalBus->registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), portal.get(),
                                              QDBusConnection::ExportAllSlots));
    }
    PortalKeyboard::TokenStore tokens()
    {
        return {[this] { return storedToken; }, [this](const QString& token) { storedToken = token; }};
    }

    std::unique_ptr<PrivateSessionBus> bus;
    QString address;
    std::unique_ptr<QDBusConnection> portalBus;
    std::unique_ptr<QDBusConnection> clientBus;
    std::unique_ptr<FakePortal> portal;
    QString storedToken;
};

} // namespace

TEST_F(PortalKeyboardTest, TheUserIsAskedOnceAndTheRestoreTokenSparesTheNextStart)
{
    offerPortal();
    {
        PortalKeyboard keyboard(*clientBus, tokens());
        keyboard.restore();  // nothing kept yet: nothing asked
        EXPECT_FALSE(keyboard.isReady());
        EXPECT_FALSE(keyboard.typeControlV());
        EXPECT_FALSE(keyboard.prepare());
        ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
        EXPECT_EQ(portal->dialogs, 1);
        ASSERT_EQ(portal->selections.size(), 1);
        EXPECT_EQ(portal->selections.constFirst().value(QStringLiteral("types")).toUInt(), 1u);
        EXPECT_EQ(portal->selections.constFirst().value(QStringLiteral("persist_mode")).toUInt(), 2u);
        EXPECT_FALSE(portal->selections.constFirst().contains(QStringLiteral("restore_token")));
        EXPECT_EQ(storedToken, QStringLiteral("token-1"));

        EXPECT_TRUE(keyboard.typeControlV());
        const QList<std::pair<int, uint>> controlV{{0xffe3, 1}, {0x76, 1}, {0x76, 0}, {0xffe3, 0}};
        ASSERT_TRUE(waitUntil([&] { return portal->keysyms.size() == 4; }));
        EXPECT_EQ(portal->keysyms, controlV);
    }
    // The next start: the kept token restores the grant without a dialog, and is replaced.
    PortalKeyboard keyboard(*clientBus, tokens());
    keyboard.restore();
    ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
    EXPECT_EQ(portal->dialogs, 1);
    EXPECT_EQ(portal->selections.constLast().value(QStringLiteral("restore_token")).toString(), QStringLiteral("token-1"));
    EXPECT_EQ(storedToken, QStringLiteral("token-2"));
}

TEST_F(PortalKeyboardTest, ARefusalTypesNothingAndKeepsNoToken)
{
    offerPortal();
    portal->startAnswer = 1;
    PortalKeyboard keyboard(*clientBus, tokens());
    EXPECT_FALSE(keyboard.prepare());
    ASSERT_TRUE(waitUntil([&] { return portal->dialogs == 1; }));
    // The refusal arrives; asking again is possible afterwards.
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(keyboard.isReady());
    EXPECT_FALSE(keyboard.typeControlV());
    EXPECT_TRUE(storedToken.isEmpty());
    portal->startAnswer = 0;
    keyboard.prepare();
    ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
    EXPECT_EQ(portal->dialogs, 2);
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(portal->keysyms.isEmpty());
}

TEST_F(PortalKeyboardTest, WithoutAPortalNothingIsReadyAndNothingHangs)
{
    PortalKeyboard keyboard(*clientBus, tokens());
    EXPECT_FALSE(keyboard.prepare());
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(keyboard.isReady());
    EXPECT_FALSE(keyboard.typeControlV());
    // Once one runs, asking again works.
    offerPortal();
    keyboard.prepare();
    EXPECT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
}

#include "PortalKeyboardTest.moc"
