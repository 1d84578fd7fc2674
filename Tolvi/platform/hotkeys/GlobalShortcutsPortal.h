#pragma once

#include "Tolvi/platform/hotkeys/HotKeyChord.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace tolvi {

// The desktop's global shortcuts service (the org.freedesktop.portal.GlobalShortcuts portal,
// offered by KDE Plasma): Tolvi's chords are registered there, so they work whatever window has
// the focus in a Wayland session, and the user changes them in the desktop's own keyboard
// settings. Everything is asynchronous; the answers arrive as signals in this object's thread.
class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    struct Shortcut {
        QString id;
        QString description;
        // The chord proposed to the user, in the shortcuts notation ("CTRL+ALT+v").
        QString preferredTrigger;
    };
    enum class State { idle, unavailable, binding, bound, failed };

    explicit GlobalShortcutsPortal(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~GlobalShortcutsPortal() override;

    // A chord in the shortcuts notation the portal proposes to the user ("CTRL+ALT+v").
    static QString triggerFor(const HotKeyChord& chord);

    // Asks whether the desktop offers the portal and, when it does, opens a session and binds the
    // shortcuts (once).
    void bind(const QList<Shortcut>& shortcuts);
    State state() const { return state_; }
    // The chords as the desktop describes them now, by shortcut id (the user may change them).
    QHash<QString, QString> triggers() const { return triggers_; }

signals:
    void stateChanged(tolvi::GlobalShortcutsPortal::State state);
    // A shortcut was pressed; the token lets the window it opens take the focus (may be empty).
    void activated(const QString& id, const QByteArray& activationToken);
    void triggersChanged();

private slots:
    void handleSessionResponse(const QDBusMessage& message);
    void handleBindResponse(const QDBusMessage& message);
    void handleActivated(const QDBusMessage& message);
    void handleShortcutsChanged(const QDBusMessage& message);

private:
    QString requestPath(const QString& token) const;
    void createSession();
    void bindShortcuts();
    void setState(State state);
    void readShortcuts(const QVariant& value);
    void finishRequest(const QDBusPendingCall& call);

    QDBusConnection bus_;
    State state_ = State::idle;
    QList<Shortcut> shortcuts_;
    QString sessionHandle_;
    QString pendingRequest_;
    QHash<QString, QString> triggers_;
    int requestCounter_ = 0;
};

} // namespace tolvi
