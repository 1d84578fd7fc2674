#include "Tolvi/platform/wayland/PortalKeyboard.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QTimer>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcPortalKeyboard, "tolvi.wayland.portalkeyboard")

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint keyboardDevice = 1;
// The grant lasts until the user takes it back.
constexpr uint persistUntilRevoked = 2;
// The first version of the interface that keeps grants (persist_mode, restore_token).
constexpr uint versionWithLastingGrants = 2;
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
        readVersionAndCreateSession();
}

bool PortalKeyboard::prepare()
{
    if (step_ == Step::idle)
        readVersionAndCreateSession();
    return false;
}

void PortalKeyboard::readVersionAndCreateSession()
{
    if (!bus_.isConnected()) {
        fail();
        return;
    }
    // Whether a grant can be kept depends on the interface's version: it is read first.
    step_ = Step::versioning;
    QDBusMessage get = QDBusMessage::createMethodCall(portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << remoteDesktop << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (step_ != Step::versioning)
            return;
        if (finished->isError()) {
            // No portal, or one without remote desktop.
            fail();
            return;
        }
        const QDBusMessage reply = finished->reply();
        const QVariant value = reply.arguments().value(0);
        portalVersion_ = value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant().toUInt() : value.toUInt();
        createSession();
    });
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
        // An older portal knows nothing of lasting grants: its dialog comes with every session.
        if (portalVersion_ >= versionWithLastingGrants) {
            options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
            const QString token = tokens_.load ? tokens_.load() : QString();
            if (!token.isEmpty())
                options.insert(QStringLiteral("restore_token"), token);
            tokenGiven_ = !token.isEmpty();
        }
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
        // A new token replaces the one given: each can be used once. A desktop that gives none
        // (GNOME 43) asks again in the next session; a spent token is not kept, so the next
        // start does not open the dialog before the user pastes.
        const QString token = results.value(QStringLiteral("restore_token")).toString();
        if (tokens_.save && (!token.isEmpty() || tokenGiven_))
            tokens_.save(token);
        tokenGiven_ = false;
        step_ = Step::started;
        started_ = true;
        emit readyChanged(true);
        break;
    }
    case Step::idle:
    case Step::versioning:
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
    // A keystroke under way ends with its session; the desktop lets go of the session's keys.
    ++keyGeneration_;
    keyQueue_.clear();
    keyInFlight_ = false;
    pressedKeys_.clear();
    if (wasStarted)
        emit readyChanged(false);
}

void PortalKeyboard::sessionClosed()
{
    sessionHandle_.clear();
    fail();
}

bool PortalKeyboard::typeControlV()
{
    if (!started_ || sessionHandle_.isEmpty() || isTyping())
        return false;
    keyQueue_ = {{keysymControlL, pressed}, {keysymV, pressed}, {keysymV, released}, {keysymControlL, released}};
    sendNextKey();
    return true;
}

void PortalKeyboard::sendNextKey()
{
    if (keyInFlight_ || keyQueue_.isEmpty())
        return;
    if (sessionHandle_.isEmpty()) {
        keyQueue_.clear();
        return;
    }
    const Key key = keyQueue_.takeFirst();
    if (key.state == pressed && !pressedKeys_.contains(key.keysym))
        pressedKeys_.append(key.keysym);
    keyInFlight_ = true;
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktop,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(sessionHandle_)), QVariantMap(), key.keysym, key.state});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    // The time limit belongs to the call: it goes with the watcher.
    auto* limit = new QTimer(watcher);
    limit->setSingleShot(true);
    const quint64 generation = keyGeneration_;
    connect(limit, &QTimer::timeout, this, [this, key, generation] {
        if (generation != keyGeneration_)
            return;
        qCWarning(lcPortalKeyboard) << "The remote desktop portal did not answer a key in time";
        keyCallEnded(key, false);
    });
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key, limit, generation](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (generation != keyGeneration_)
            return;
        const bool ok = !finished->isError();
        if (!ok)
            qCWarning(lcPortalKeyboard) << "The remote desktop portal refused a key:" << finished->error().name();
        if (limit->isActive()) {
            limit->stop();
            keyCallEnded(key, ok);
        } else {
            lateKeyAnswer(key, ok);
        }
    });
    limit->start(keyAnswerTimeout_);
}

void PortalKeyboard::keyCallEnded(const Key& key, bool ok)
{
    keyInFlight_ = false;
    if (ok && key.state == released)
        pressedKeys_.removeAll(key.keysym);
    // A failed release is tried again with the others, but a cleanup that fails ends there.
    if (!ok && !key.cleanup)
        releasePressedKeys();
    sendNextKey();
}

void PortalKeyboard::lateKeyAnswer(const Key& key, bool ok)
{
    if (!ok)
        return;
    if (key.state == released) {
        pressedKeys_.removeAll(key.keysym);
        return;
    }
    // A press that arrived after its keystroke was given up may have come after the release
    // sent for it: it is released once more.
    if (!pressedKeys_.contains(key.keysym))
        pressedKeys_.append(key.keysym);
    keyQueue_.append({key.keysym, released, true});
    sendNextKey();
}

void PortalKeyboard::releasePressedKeys()
{
    keyQueue_.clear();
    for (auto it = pressedKeys_.crbegin(); it != pressedKeys_.crend(); ++it)
        keyQueue_.append({*it, released, true});
}

} // namespace tolvi
