#pragma once

#include "Tolvi/platform/wayland/WaylandKeyboard.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace tolvi {

// Ctrl+V through the desktop portal's remote desktop (org.freedesktop.portal.RemoteDesktop), where
// the compositor offers no keyboard of ours (GNOME). The user is asked once; the portal's restore
// token is kept (through the given functions) and given back on the next start, so the user is
// not asked again while the grant stands. Keys go as key symbols, so the compositor's layout does
// not matter. Every call is asynchronous: nothing here waits. Main thread.
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
    bool typeControlV() override;

signals:
    // The session started (true) or ended or was refused (false).
    void readyChanged(bool ready);

private slots:
    // The answer of the portal's request object to the step under way.
    void portalResponse(uint response, const QVariantMap& results);
    void sessionClosed();

private:
    enum class Step { idle, creating, selecting, starting, started };
    void createSession();
    // Calls a RemoteDesktop method whose answer comes as a Response signal of a request object,
    // listening to that object first.
    void callWithRequest(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
    void stopListening();
    void fail();
    void notifyKeysym(int keysym, uint state);

    QDBusConnection bus_;
    TokenStore tokens_;
    Step step_ = Step::idle;
    bool started_ = false;
    QString sessionHandle_;
    QString requestPath_;
    int tokenCounter_ = 0;
};

} // namespace tolvi
