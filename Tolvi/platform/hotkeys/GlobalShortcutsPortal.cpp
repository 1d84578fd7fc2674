#include "Tolvi/platform/hotkeys/GlobalShortcutsPortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcPortal, "tolvi.hotkeys.portal")

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace
} // namespace tolvi

Q_DECLARE_METATYPE(tolvi::PortalShortcut)

namespace tolvi {

GlobalShortcutsPortal::GlobalShortcutsPortal(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() = default;

QString GlobalShortcutsPortal::triggerFor(const HotKeyChord& chord)
{
    QStringList parts;
    if (chord.modifiers & HotKeyModifier::Control)
        parts.append(QStringLiteral("CTRL"));
    if (chord.modifiers & HotKeyModifier::Option)
        parts.append(QStringLiteral("ALT"));
    if (chord.modifiers & HotKeyModifier::Shift)
        parts.append(QStringLiteral("SHIFT"));
    if (chord.modifiers & HotKeyModifier::Command)
        parts.append(QStringLiteral("LOGO"));
    parts.append(chord.keyCode == HotKeyKeyCode::Space ? QStringLiteral("space") : QStringLiteral("v"));
    return parts.join(QLatin1Char('+'));
}

void GlobalShortcutsPortal::setState(State state)
{
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

QString GlobalShortcutsPortal::requestPath(const QString& token) const
{
    // The portal names each request after the caller's unique bus name and the caller's token.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

void GlobalShortcutsPortal::bind(const QList<Shortcut>& shortcuts)
{
    if (state_ != State::idle)
        return;
    if (!bus_.isConnected()) {
        setState(State::unavailable);
        return;
    }
    shortcuts_ = shortcuts;
    setState(State::binding);
    QDBusMessage get = QDBusMessage::createMethodCall(portalService, portalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError()) {
            qCInfo(lcPortal) << "No global shortcuts portal:" << call->error().name();
            setState(State::unavailable);
            return;
        }
        createSession();
    });
}

void GlobalShortcutsPortal::finishRequest(const QDBusPendingCall& call)
{
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answer) {
        answer->deleteLater();
        if (answer->isError()) {
            qCWarning(lcPortal) << "The global shortcuts portal refused a request:" << answer->error().name();
            setState(State::failed);
        }
    });
}

void GlobalShortcutsPortal::callWithRequest(const QString& method, const char* responseSlot, QList<QVariant> arguments)
{
    const QString token = QStringLiteral("tolvi_request_%1").arg(++requestCounter_);
    pendingRequest_ = requestPath(token);
    pendingSlot_ = responseSlot;
    // Listened for before asking: the answer may come before the call returns.
    bus_.connect(portalService, pendingRequest_, requestInterface, QStringLiteral("Response"), this, responseSlot);
    QVariantMap options = arguments.isEmpty() ? QVariantMap() : qvariant_cast<QVariantMap>(arguments.takeLast());
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    finishRequest(bus_.asyncCall(call));
}

void GlobalShortcutsPortal::createSession()
{
    callWithRequest(QStringLiteral("CreateSession"), SLOT(handleSessionResponse(QDBusMessage)),
                    {QVariantMap{{QStringLiteral("session_handle_token"),
                                  QStringLiteral("tolvi_session_%1").arg(requestCounter_ + 1)}}});
}

void GlobalShortcutsPortal::handleSessionResponse(const QDBusMessage& message)
{
    bus_.disconnect(portalService, pendingRequest_, requestInterface, QStringLiteral("Response"), this, pendingSlot_);
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).toUInt() != 0) {
        setState(State::failed);
        return;
    }
    const QVariantMap results = qdbus_cast<QVariantMap>(arguments.at(1));
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    sessionHandle_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
    if (sessionHandle_.isEmpty()) {
        setState(State::failed);
        return;
    }
    bus_.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                 SLOT(handleActivated(QDBusMessage)));
    bus_.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(handleShortcutsChanged(QDBusMessage)));
    listShortcuts();
}

void GlobalShortcutsPortal::listShortcuts()
{
    callWithRequest(QStringLiteral("ListShortcuts"), SLOT(handleListResponse(QDBusMessage)),
                    {QVariant::fromValue(QDBusObjectPath(sessionHandle_)), QVariantMap()});
}

void GlobalShortcutsPortal::handleListResponse(const QDBusMessage& message)
{
    bus_.disconnect(portalService, pendingRequest_, requestInterface, QStringLiteral("Response"), this, pendingSlot_);
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() >= 2 && arguments.at(0).toUInt() == 0)
        readShortcuts(qdbus_cast<QVariantMap>(arguments.at(1)).value(QStringLiteral("shortcuts")), true);
    // A desktop that knows any of them was asked before (by an earlier start): asking again would
    // only open its settings window once more.
    for (const Shortcut& shortcut : std::as_const(shortcuts_)) {
        if (triggers_.contains(shortcut.id)) {
            settle();
            return;
        }
    }
    bindShortcuts();
}

void GlobalShortcutsPortal::bindShortcuts()
{
    QList<PortalShortcut> list;
    for (const Shortcut& shortcut : std::as_const(shortcuts_)) {
        list.append({shortcut.id,
                     {{QStringLiteral("description"), shortcut.description},
                      {QStringLiteral("preferred_trigger"), shortcut.preferredTrigger}}});
    }
    ++bindRequests_;
    callWithRequest(QStringLiteral("BindShortcuts"), SLOT(handleBindResponse(QDBusMessage)),
                    {QVariant::fromValue(QDBusObjectPath(sessionHandle_)), QVariant::fromValue(list), QString(),
                     QVariantMap()});
}

void GlobalShortcutsPortal::handleBindResponse(const QDBusMessage& message)
{
    bus_.disconnect(portalService, pendingRequest_, requestInterface, QStringLiteral("Response"), this, pendingSlot_);
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).toUInt() != 0) {
        // The user declined, or the desktop's service could not take them.
        setState(State::failed);
        return;
    }
    readShortcuts(qdbus_cast<QVariantMap>(arguments.at(1)).value(QStringLiteral("shortcuts")), true);
    settle();
}

void GlobalShortcutsPortal::settle()
{
    bool all = !shortcuts_.isEmpty();
    for (const Shortcut& shortcut : std::as_const(shortcuts_))
        all = all && holds(shortcut.id);
    if (!all)
        qCInfo(lcPortal) << "The global shortcuts portal holds not all of Tolvi's shortcuts:" << triggers_;
    setState(all ? State::bound : State::unbound);
}

void GlobalShortcutsPortal::readShortcuts(const QVariant& value, bool fullList)
{
    QList<PortalShortcut> list;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> list;
    else if (!fullList)
        return;
    QHash<QString, QString> triggers = fullList ? QHash<QString, QString>() : triggers_;
    for (const PortalShortcut& shortcut : std::as_const(list))
        triggers.insert(shortcut.id, shortcut.properties.value(QStringLiteral("trigger_description")).toString());
    if (triggers != triggers_) {
        triggers_ = triggers;
        emit triggersChanged();
    }
}

void GlobalShortcutsPortal::describe(ShortcutAccess& access) const
{
    switch (state_) {
    case State::bound:
    case State::unbound:
        access.route = ShortcutAccess::Route::desktopPortal;
        access.historyTrigger = triggers_.value(QStringLiteral("history"));
        access.compactTrigger = triggers_.value(QStringLiteral("compact"));
        return;
    case State::idle:
    case State::unavailable:
    case State::binding:
    case State::failed:
        access.route = ShortcutAccess::Route::boundCommands;
        return;
    }
}

void GlobalShortcutsPortal::handleActivated(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).value<QDBusObjectPath>().path() != sessionHandle_)
        return;
    QByteArray token;
    if (arguments.size() >= 4)
        token = qdbus_cast<QVariantMap>(arguments.at(3)).value(QStringLiteral("activation_token")).toString().toUtf8();
    emit activated(arguments.at(1).toString(), token);
}

void GlobalShortcutsPortal::handleShortcutsChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).value<QDBusObjectPath>().path() != sessionHandle_)
        return;
    readShortcuts(arguments.at(1), false);
    if (state_ == State::bound || state_ == State::unbound)
        settle();
}

} // namespace tolvi
