#pragma once

#include "Tolvi/platform/wayland/WaylandKeyboard.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>

namespace tolvi {

// Ctrl+V through the desktop portal's remote desktop (org.freedesktop.portal.RemoteDesktop), where
// the compositor offers no keyboard of ours (GNOME). The user is asked once; the portal's restore
// token is kept (through the given functions) and given back on the next start, so the user is
// not asked again while the grant stands (where the portal's version knows of lasting grants).
// Keys go as key symbols, so the compositor's layout does not matter. The portal may hand calls on
// to the desktop in another order than they were made, so each key goes out only once the one
// before it has been answered; a key that fails or goes unanswered for too long ends the keystroke,
// and every key it pressed is released. Every call is asynchronous: nothing here waits. Main thread.
class PortalKeyboard final : public QObject, public WaylandKeyboard {
    Q_OBJECT
public:
    struct TokenStore {
        std::function<QString()> load;
        std::function<void(const QString&)> save;
    };

    PortalKeyboard(QDBusConnection bus, TokenStore tokens, QObject* parent = nullptr);
    ~PortalKeyboard() override;

    // Starts a session without asking when a restore token is kept (the portal then restores the
    // user's grant without a dialog); otherwise waits for prepare().
    void restore();

    bool isReady() override { return started_; }
    // Asks the portal for the keyboard (the user sees its dialog once); false: not ready by itself.
    bool prepare() override;
    // Ctrl+V as four keys, each sent once the one before it is answered; false when nothing was
    // sent (not started, or the previous keystroke is still going out).
    bool typeControlV() override;

    // How long one key may go unanswered before the keystroke is given up (and its keys released).
    void setKeyAnswerTimeout(std::chrono::milliseconds timeout) { keyAnswerTimeout_ = timeout; }
    // A keystroke is still going out.
    bool isTyping() const { return keyInFlight_ || !keyQueue_.isEmpty(); }

signals:
    // The session started (true) or ended or was refused (false).
    void readyChanged(bool ready);

private slots:
    // The answer of the portal's request object to the step under way.
    void portalResponse(uint response, const QVariantMap& results);
    void sessionClosed();

private:
    enum class Step { idle, versioning, creating, selecting, starting, started };
    struct Key {
        int keysym = 0;
        uint state = 0;
        // A release sent to undo a keystroke that went wrong.
        bool cleanup = false;
    };
    void readVersionAndCreateSession();
    void createSession();
    // Calls a RemoteDesktop method whose answer comes as a Response signal of a request object,
    // listening to that object first.
    void callWithRequest(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
    void stopListening();
    void fail();
    void sendNextKey();
    // The key's call was answered (ok or error) or its time ran out (answered false).
    void keyCallEnded(const Key& key, bool ok);
    // The answer to a key whose time had run out.
    void lateKeyAnswer(const Key& key, bool ok);
    void releasePressedKeys();

    QDBusConnection bus_;
    TokenStore tokens_;
    Step step_ = Step::idle;
    bool started_ = false;
    QString sessionHandle_;
    QString requestPath_;
    int tokenCounter_ = 0;
    uint portalVersion_ = 0;
    // The kept token went with this session's request (it is spent then).
    bool tokenGiven_ = false;

    QList<Key> keyQueue_;
    bool keyInFlight_ = false;
    // Keys that may be down at the desktop: pressed, and not yet released by an answered call.
    QList<int> pressedKeys_;
    // Counts sessions, so an answer from an ended one is not taken for the current one's.
    quint64 keyGeneration_ = 0;
    std::chrono::milliseconds keyAnswerTimeout_{1000};
};

} // namespace tolvi
