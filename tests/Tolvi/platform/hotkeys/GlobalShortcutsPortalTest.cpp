// The portal client against a desktop portal of the test's own on a private session bus.
#include "Tolvi/platform/hotkeys/GlobalShortcutsPortal.h"
#include "PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

struct Entry {
    QString id;
    QVariantMap properties;
};
QDBusArgument& operator<<(QDBusArgument& argument, const Entry& entry)
{
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, Entry& entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Entry)

namespace {

const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

bool spinUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The desktop's side: answers each request at once with a Response on the request's path, as
// the KDE backend does, and describes bound shortcuts with the trigger the user would see. It
// remembers what it holds between sessions, as the desktop does between starts of the program.
class FakePortal final : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (member == QLatin1String("Get")) {
            if (!offered) {
                connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                                                         QStringLiteral("no such interface")));
            } else {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            }
            return true;
        }
        const QString sender = message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        auto answer = [&](const QVariantMap& options, uint response, const QVariantMap& results) {
            const QString request = path + "/request/" + sender + "/" + options.value("handle_token").toString();
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            QDBusMessage signal = QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            signal << response << results;
            connection.send(signal);
        };
        if (member == QLatin1String("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(arguments.at(0));
            session = path + "/session/" + sender + "/" + options.value("session_handle_token").toString();
            answer(options, 0, {{"session_handle", QVariant::fromValue(QDBusObjectPath(session))}});
            return true;
        }
        if (member == QLatin1String("ListShortcuts")) {
            ++listCalls;
            answer(qdbus_cast<QVariantMap>(arguments.at(1)), 0, {{"shortcuts", QVariant::fromValue(held)}});
            return true;
        }
        if (member == QLatin1String("BindShortcuts")) {
            ++bindCalls;
            boundSession = arguments.at(0).value<QDBusObjectPath>().path();
            QList<Entry> asked;
            arguments.at(1).value<QDBusArgument>() >> asked;
            QList<Entry> bound;
            for (const Entry& entry : asked) {
                requested.insert(entry.id, entry.properties.value("preferred_trigger").toString());
                bound.append({entry.id, {{"description", entry.properties.value("description")},
                                         {"trigger_description", "Ctrl+Alt+" + entry.id}}});
            }
            // KDE Plasma 5.27 may accept the request and bind nothing.
            if (bindsNothing)
                bound.clear();
            if (!declines)
                held = bound;
            answer(qdbus_cast<QVariantMap>(arguments.at(3)), declines ? 1 : 0,
                   {{"shortcuts", QVariant::fromValue(bound)}});
            return true;
        }
        return false;
    }

    void press(const QString& id, const QString& token)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, "Activated");
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1234)
               << QVariantMap{{"activation_token", token}};
        bus_.send(signal);
    }

    void userChanges(const QString& id, const QString& trigger)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, "ShortcutsChanged");
        signal << QVariant::fromValue(QDBusObjectPath(session))
               << QVariant::fromValue(QList<Entry>{{id, {{"trigger_description", trigger}}}});
        bus_.send(signal);
    }

    bool offered = true;
    bool declines = false;
    bool bindsNothing = false;
    // What the desktop holds for the program, as ListShortcuts lists it.
    QList<Entry> held;
    int listCalls = 0;
    int bindCalls = 0;
    QString session;
    QString boundSession;
    QHash<QString, QString> requested;

private:
    QDBusConnection bus_;
};

class PortalFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<Entry>();
        qDBusRegisterMetaType<QList<Entry>>();
        bus = std::make_unique<tolvi::test::PrivateSessionBus>();
        ASSERT_TRUE(bus->error().isEmpty()) << bus->error().toStdString();
        address = bus->address();
        portalBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "portal-side"));
        ASSERT_TRUE(portalBus->isConnected());
        portal = std::make_unique<FakePortal>(*portalBus);
        ASSERT_TRUE(portalBus->registerService("org.freedesktop.portal.Desktop"));
        ASSERT_TRUE(portalBus->registerVirtualObject(path, portal.get()));
        clientBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "client-side"));
        ASSERT_TRUE(clientBus->isConnected());
    }
    void TearDown() override
    {
        client.reset();
        clientBus.reset();
        QDBusConnection::disconnectFromBus("client-side");
        if (portalBus)
            portalBus->unregisterObject(path);
        portalBus.reset();
        QDBusConnection::disconnectFromBus("portal-side");
        bus.reset();
    }
    void makeClient()
    {
        client = std::make_unique<GlobalShortcutsPortal>(*clientBus);
        client->bind({{"history", "Open the history window", "CTRL+ALT+v"},
                      {"compact", "Open the compact panel", "LOGO+SHIFT+v"}});
    }

    std::unique_ptr<tolvi::test::PrivateSessionBus> bus;
    QString address;
    std::unique_ptr<QDBusConnection> portalBus;
    std::unique_ptr<FakePortal> portal;
    std::unique_ptr<QDBusConnection> clientBus;
    std::unique_ptr<GlobalShortcutsPortal> client;
};

} // namespace

TEST_F(PortalFixture, BindsBothChordsFollowsTheUsersChangesAndReportsPresses)
{
    makeClient();
    ASSERT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::bound; }))
        << int(client->state());
    EXPECT_EQ(portal->boundSession, portal->session);
    EXPECT_EQ(portal->requested.value("history"), "CTRL+ALT+v");
    EXPECT_EQ(portal->requested.value("compact"), "LOGO+SHIFT+v");
    EXPECT_EQ(client->triggers().value("history"), "Ctrl+Alt+history");

    QList<std::pair<QString, QByteArray>> pressed;
    QObject::connect(client.get(), &GlobalShortcutsPortal::activated,
                     [&](const QString& id, const QByteArray& token) { pressed.append({id, token}); });
    portal->press("compact", "token-1");
    ASSERT_TRUE(spinUntil([&] { return !pressed.isEmpty(); }));
    EXPECT_EQ(pressed.first(), (std::pair<QString, QByteArray>{"compact", "token-1"}));

    portal->userChanges("history", "Meta+H");
    ASSERT_TRUE(spinUntil([&] { return client->triggers().value("history") == "Meta+H"; }));
    EXPECT_EQ(client->triggers().value("compact"), "Ctrl+Alt+compact");
    EXPECT_EQ(client->state(), GlobalShortcutsPortal::State::bound);
    ShortcutAccess access;
    client->describe(access);
    EXPECT_EQ(access.route, ShortcutAccess::Route::desktopPortal);
    EXPECT_TRUE(access.summary().contains("Meta+H opens the history window, Ctrl+Alt+compact the compact panel"))
        << access.summary().toStdString();
    EXPECT_EQ(portal->bindCalls, 1);

    // The next start: the desktop lists both with their keys, so it is not asked (its settings
    // window would open) again.
    makeClient();
    ASSERT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::bound; }));
    EXPECT_EQ(portal->listCalls, 2);
    EXPECT_EQ(portal->bindCalls, 1);
    EXPECT_EQ(client->triggers().value("compact"), "Ctrl+Alt+compact");
}

TEST_F(PortalFixture, AnEmptyAnswerBindsNothingSoTheKeyGrabKeepsThePressesAndSettingsSaysToBindByHand)
{
    portal->bindsNothing = true;
    makeClient();
    ASSERT_TRUE(spinUntil([&] { return client->state() != GlobalShortcutsPortal::State::binding; }));
    // Accepted, yet nothing is held: not bound, so the X11 key grab keeps its presses.
    EXPECT_EQ(client->state(), GlobalShortcutsPortal::State::unbound);
    EXPECT_FALSE(client->holds("history"));
    EXPECT_FALSE(client->holds("compact"));
    ShortcutAccess access;
    access.programPath = "/usr/bin/Tolvi";
    client->describe(access);
    EXPECT_EQ(access.route, ShortcutAccess::Route::desktopPortal);
    EXPECT_TRUE(access.summary().contains("has bound none of Tolvi's shortcuts")) << access.summary().toStdString();
    EXPECT_FALSE(access.summary().contains("holds Tolvi's shortcuts"));
    EXPECT_EQ(access.commandLines(), (QStringList{"/usr/bin/Tolvi --history", "/usr/bin/Tolvi --compact"}));

    // Before the desktop has answered, and without the service, Settings names the commands too.
    ShortcutAccess before;
    GlobalShortcutsPortal unasked(*clientBus);
    unasked.describe(before);
    EXPECT_EQ(before.route, ShortcutAccess::Route::boundCommands);
}

TEST_F(PortalFixture, ADesktopThatKnowsTheShortcutsIsNotAskedAgainAndOnlyKeysItHoldsCount)
{
    // An earlier start registered both; the user gave only the history window a key.
    portal->held = {{"history", {{"trigger_description", "Meta+H"}}}, {"compact", {{"trigger_description", ""}}}};
    makeClient();
    ASSERT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::unbound; }))
        << int(client->state());
    EXPECT_EQ(portal->bindCalls, 0);
    EXPECT_TRUE(client->holds("history"));
    EXPECT_FALSE(client->holds("compact"));
    ShortcutAccess access;
    access.programPath = "Tolvi";
    client->describe(access);
    EXPECT_TRUE(access.summary().contains("holds only the history window's shortcut (Meta+H)"))
        << access.summary().toStdString();
    EXPECT_EQ(access.commandLines(), QStringList{"Tolvi --compact"});

    // The user gives the compact panel a key in the desktop's settings: both are held now.
    QList<GlobalShortcutsPortal::State> states;
    QObject::connect(client.get(), &GlobalShortcutsPortal::stateChanged,
                     [&](GlobalShortcutsPortal::State state) { states.append(state); });
    portal->userChanges("compact", "Meta+C");
    ASSERT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::bound; }));
    EXPECT_EQ(states, QList<GlobalShortcutsPortal::State>{GlobalShortcutsPortal::State::bound});
    EXPECT_EQ(client->triggers().value("history"), "Meta+H");
}

TEST(GlobalShortcutsPortal, ChordsAreWrittenInTheShortcutsNotation)
{
    EXPECT_EQ(GlobalShortcutsPortal::triggerFor({HotKeyKeyCode::V, HotKeyModifier::Control | HotKeyModifier::Option}),
              "CTRL+ALT+v");
    EXPECT_EQ(GlobalShortcutsPortal::triggerFor({HotKeyKeyCode::V, HotKeyModifier::Command | HotKeyModifier::Shift}),
              "SHIFT+LOGO+v");
    EXPECT_EQ(GlobalShortcutsPortal::triggerFor({HotKeyKeyCode::Space, HotKeyModifier::Option}), "ALT+space");
}

TEST_F(PortalFixture, ADesktopWithoutThePortalOrAUserWhoDeclinesLeavesItUnbound)
{
    portal->offered = false;
    makeClient();
    EXPECT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::unavailable; }));

    portal->offered = true;
    portal->declines = true;
    makeClient();
    EXPECT_TRUE(spinUntil([&] { return client->state() == GlobalShortcutsPortal::State::failed; }));
    // Settings names the commands to bind by hand.
    ShortcutAccess access;
    client->describe(access);
    EXPECT_EQ(access.route, ShortcutAccess::Route::boundCommands);
    EXPECT_EQ(access.commandLines().size(), 2);
}
