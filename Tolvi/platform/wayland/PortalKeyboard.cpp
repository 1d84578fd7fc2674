#include "Tolvi/platform/wayland/PortalKeyboard.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

namespace tolvi {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint keyboardDevice = 1;
// The grant lasts until the user takes it back.
constexpr uint persistUntilRevoked = 2;
constexpr int keysymControlL = 0xffe3;
constexpr int keysymV = 0x0076;
constexpr uint released = 0;
constexpr uint pressed = 1;

} // namespace

PortalKeyboard::PortalKeyboard(QDBusConnection bus, TokenStore tokens, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), tokens_(std::move(tokens))
{
}

PortalKeyboard::~PortalKeyboard()
{
    stopListening();
    if (!sessionHandle_.isEmpty()) {
        bus_.asyncCall(QDBusMessage::createMethodCall(portalService, sessionHandle_, sessionInterface,
                                                      QStringLiteral("Close")));
    }
}

void PortalKeyboard::restore()
{
    if (step_ == Step::idle && tokens_.load && !tokens_.load().isEmpty())
        createSession();
}

bool PortalKeyboard::prepare()
{
    if (step_ == Step::idle)
        createSession();
    return false;
}

void PortalKeyboard::createSession()
{
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), QStringLiteral("tolvi%1").arg(++tokenCounter_));
    callWithRequest(Step::creating, QStringLiteral("CreateSession"), {}, options);
}

void PortalKeyboard::callWithRequest(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options)
{
    if (!bus_.isConnected()) {
        fail();
        return;
    }
    stopListening();
    step_ = step;
    // The request object's path is known before the call: listen first, so no answer is missed.
    const QString token = QStringLiteral("tolvi%1").arg(++tokenCounter_);
    QString sender = bus_.baseService();
    sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath_ = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    bus_.connect(QString(), requestPath_, requestInterface, QStringLiteral("Response"), this,
                 SLOT(portalResponse(uint, QVariantMap)));
    options.insert(QStringLiteral("handle_token"), token);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktop, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, step](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        // No portal, or one without remote desktop.
        if (finished->isError() && step_ == step)
            fail();
    });
}

void PortalKeyboard::stopListening()
{
    if (requestPath_.isEmpty())
        return;
    bus_.disconnect(QString(), requestPath_, requestInterface, QStringLiteral("Response"), this,
                    SLOT(portalResponse(uint, QVariantMap)));
    requestPath_.clear();
}

void PortalKeyboard::portalResponse(uint response, const QVariantMap& results)
{
    stopListening();
    // 0: granted; 1: the user cancelled; 2: refused otherwise.
    if (response != 0) {
        fail();
        return;
    }
    switch (step_) {
    case Step::creating: {
        sessionHandle_ = results.value(QStringLiteral("session_handle")).toString();
        if (sessionHandle_.isEmpty()) {
            fail();
            return;
        }
        bus_.connect(QString(), sessionHandle_, sessionInterface, QStringLiteral("Closed"), this, SLOT(sessionClosed()));
        QVariantMap options;
        options.insert(QStringLiteral("types"), keyboardDevice);
        options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        const QString token = tokens_.load ? tokens_.load() : QString();
        if (!token.isEmpty())
            options.insert(QStringLiteral("restore_token"), token);
        callWithRequest(Step::selecting, QStringLiteral("SelectDevices"),
                        {QVariant::fromValue(QDBusObjectPath(sessionHandle_))}, options);
        break;
    }
    case Step::selecting:
        callWithRequest(Step::starting, QStringLiteral("Start"),
                        {QVariant::fromValue(QDBusObjectPath(sessionHandle_)), QString()}, {});
        break;
    case Step::starting: {
        if (!(results.value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
            fail();
            return;
        }
        // A new token replaces the one given: each can be used once.
        const QString token = results.value(QStringLiteral("restore_token")).toString();
        if (!token.isEmpty() && tokens_.save)
            tokens_.save(token);
        step_ = Step::started;
        started_ = true;
        emit readyChanged(true);
        break;
    }
    case Step::idle:
    case Step::started:
        break;
    }
}

void PortalKeyboard::fail()
{
    stopListening();
    const bool wasStarted = started_;
    if (!sessionHandle_.isEmpty()) {
        bus_.disconnect(QString(), sessionHandle_, sessionInterface, QStringLiteral("Closed"), this,
                        SLOT(sessionClosed()));
        bus_.asyncCall(QDBusMessage::createMethodCall(portalService, sessionHandle_, sessionInterface,
                                                      QStringLiteral("Close")));
    }
    sessionHandle_.clear();
    started_ = false;
    step_ = Step::idle;
    if (wasStarted)
        emit readyChanged(false);
}

void PortalKeyboard::sessionClosed()
{
    sessionHandle_.clear();
    fail();
}

void PortalKeyboard::notifyKeysym(int keysym, uint state)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktop,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(sessionHandle_)), QVariantMap(), keysym, state});
    // Messages on one connection arrive in order: the four keys keep theirs.
    bus_.asyncCall(call);
}

bool PortalKeyboard::typeControlV()
{
    if (!started_ || sessionHandle_.isEmpty())
        return false;
    notifyKeysym(keysymControlL, pressed);
    notifyKeysym(keysymV, pressed);
    notifyKeysym(keysymV, released);
    notifyKeysym(keysymControlL, released);
    return true;
}

} // namespace tolvi
