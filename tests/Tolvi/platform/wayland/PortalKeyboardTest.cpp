// The remote-desktop portal keyboard against a portal of the test's own on a private bus: the user
// is asked once, the restore token is kept and given back, a refusal types nothing, and Ctrl+V goes
// out as four key symbols in order, even through a portal that hands calls on out of order, with
// nothing left held when a key fails or goes unanswered.
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
    Q_PROPERTY(uint version READ version)
public:
    explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}

    // How the desktop behind the portal takes key calls.
    enum class Keys {
        // Each is answered at once and typed in the order it came.
        atOnce,
        // Like xdg-desktop-portal 1.16: the calls waiting when the portal gets round to them are
        // handed on, and typed, last first.
        reordered,
    };

    uint version() const { return interfaceVersion; }

    uint interfaceVersion = 2;
    bool givesTokens = true;
    uint startAnswer = 0;  // 0 granted, 1 cancelled by the user
    QList<QVariantMap> selections;
    int dialogs = 0;
    int issuedTokens = 0;
    // The keys as the desktop typed them (an answered call), in that order.
    QList<std::pair<int, uint>> keysyms;
    QStringList validTokens;
    Keys keys = Keys::atOnce;
    // The key calls (counted from 1) answered with an error, or answered only after a while.
    int refusedKeyCall = 0;
    int slowKeyCall = 0;
    int slowKeyDelayMs = 0;
    int keyCalls = 0;
    int mostKeyCallsWaiting = 0;

    // The keys down at the desktop after what it typed.
    QList<int> held() const
    {
        QList<int> down;
        for (const auto& [keysym, state] : keysyms) {
            if (state == 1 && !down.contains(keysym))
                down.append(keysym);
            else if (state == 0)
                down.removeAll(keysym);
        }
        return down;
    }

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
        if (!givesTokens)
            return respond(options, 0, {{QStringLiteral("devices"), uint(1)}});
        const QString fresh = QStringLiteral("token-%1").arg(++issuedTokens);
        validTokens.append(fresh);
        return respond(options, 0, {{QStringLiteral("devices"), uint(1)}, {QStringLiteral("restore_token"), fresh}});
    }
    void NotifyKeyboardKeysym(const QDBusObjectPath&, const QVariantMap&, int keysym, uint state)
    {
        const int call = ++keyCalls;
        setDelayedReply(true);
        const QDBusMessage request = message();
        auto answer = [this, request, call, keysym, state] {
            if (call == refusedKeyCall) {
                bus_.send(request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                                   QStringLiteral("the session has no keyboard")));
                return;
            }
            keysyms.append({keysym, state});
            bus_.send(request.createReply());
        };
        if (call == slowKeyCall) {
            QTimer::singleShot(slowKeyDelayMs, this, answer);
            return;
        }
        if (keys == Keys::atOnce) {
            answer();
            return;
        }
        waiting.prepend(answer);
        mostKeyCallsWaiting = std::max(mostKeyCallsWaiting, int(waiting.size()));
        QTimer::singleShot(20, this, [this] {
            const auto handedOn = std::exchange(waiting, {});
            for (const auto& next : handedOn)
                next();
        });
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
    QList<std::function<void()>> waiting;
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
                                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
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

const QList<std::pair<int, uint>> controlV{{0xffe3, 1}, {0x76, 1}, {0x76, 0}, {0xffe3, 0}};
constexpr int controlL = 0xffe3;
constexpr int v = 0x76;

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

TEST_F(PortalKeyboardTest, EachKeyWaitsForTheAnswerToTheOneBeforeSoAReorderingPortalTypesCtrlVAsPressed)
{
    offerPortal();
    portal->keys = FakePortal::Keys::reordered;
    PortalKeyboard keyboard(*clientBus, tokens());
    keyboard.prepare();
    ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));

    for (int paste = 1; paste <= 3; ++paste) {
        ASSERT_TRUE(keyboard.typeControlV());
        // One keystroke at a time: a paste while the keys still go out sends nothing.
        EXPECT_FALSE(keyboard.typeControlV());
        ASSERT_TRUE(waitUntil([&] { return !keyboard.isTyping(); }));
        EXPECT_EQ(portal->keysyms.size(), 4 * paste);
    }
    EXPECT_EQ(portal->mostKeyCallsWaiting, 1);
    EXPECT_EQ(portal->keysyms, controlV + controlV + controlV);
    EXPECT_TRUE(portal->held().isEmpty());
}

TEST_F(PortalKeyboardTest, AKeyRefusedOrUnansweredInTimeEndsTheKeystrokeWithNothingHeld)
{
    offerPortal();
    PortalKeyboard keyboard(*clientBus, tokens());
    keyboard.setKeyAnswerTimeout(std::chrono::milliseconds(150));
    keyboard.prepare();
    ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));

    // The release of V fails: V and Ctrl are released again, and nothing else is typed.
    portal->refusedKeyCall = 3;
    ASSERT_TRUE(keyboard.typeControlV());
    ASSERT_TRUE(waitUntil([&] { return !keyboard.isTyping(); }));
    EXPECT_EQ(portal->keysyms, (QList<std::pair<int, uint>>{{controlL, 1}, {v, 1}, {v, 0}, {controlL, 0}}));
    EXPECT_TRUE(portal->held().isEmpty());

    // The press of V is answered only after its time ran out (and after the releases sent for
    // it): it is released once more when its answer comes.
    portal->keysyms.clear();
    portal->refusedKeyCall = 0;
    portal->slowKeyCall = portal->keyCalls + 2;
    portal->slowKeyDelayMs = 600;
    ASSERT_TRUE(keyboard.typeControlV());
    ASSERT_TRUE(waitUntil([&] { return portal->keysyms.size() == 5; }));
    ASSERT_TRUE(waitUntil([&] { return !keyboard.isTyping(); }));
    EXPECT_EQ(portal->keysyms, (QList<std::pair<int, uint>>{{controlL, 1}, {v, 0}, {controlL, 0}, {v, 1}, {v, 0}}));
    EXPECT_TRUE(portal->held().isEmpty());

    // The next paste types Ctrl+V whole.
    portal->keysyms.clear();
    ASSERT_TRUE(keyboard.typeControlV());
    ASSERT_TRUE(waitUntil([&] { return portal->keysyms.size() == 4 && !keyboard.isTyping(); }));
    EXPECT_EQ(portal->keysyms, controlV);
}

TEST_F(PortalKeyboardTest, APortalThatKeepsNoGrantIsNotAskedToAndASpentTokenIsNotKept)
{
    offerPortal();
    // Version 1 knows nothing of lasting grants: neither a persist mode nor a token is sent.
    portal->interfaceVersion = 1;
    portal->givesTokens = false;
    storedToken = QStringLiteral("token-from-before");
    {
        PortalKeyboard keyboard(*clientBus, tokens());
        keyboard.prepare();
        ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
        ASSERT_EQ(portal->selections.size(), 1);
        EXPECT_FALSE(portal->selections.constFirst().contains(QStringLiteral("persist_mode")));
        EXPECT_FALSE(portal->selections.constFirst().contains(QStringLiteral("restore_token")));
        EXPECT_EQ(storedToken, QStringLiteral("token-from-before"));
    }
    // A version 2 portal that answers a kept token without a new one (GNOME 43): the spent token
    // is dropped, so the next start opens no dialog before the user pastes.
    portal->interfaceVersion = 2;
    portal->validTokens = {storedToken};
    {
        PortalKeyboard keyboard(*clientBus, tokens());
        keyboard.restore();
        ASSERT_TRUE(waitUntil([&] { return keyboard.isReady(); }));
        EXPECT_EQ(portal->selections.constLast().value(QStringLiteral("restore_token")).toString(),
                  QStringLiteral("token-from-before"));
        EXPECT_TRUE(storedToken.isEmpty());
    }
    const int dialogs = portal->dialogs;
    PortalKeyboard keyboard(*clientBus, tokens());
    keyboard.restore();
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(keyboard.isReady());
    EXPECT_EQ(portal->dialogs, dialogs);
    EXPECT_EQ(portal->selections.size(), 2);
}

#include "PortalKeyboardTest.moc"
