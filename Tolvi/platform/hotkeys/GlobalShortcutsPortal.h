#pragma once

#include "Tolvi/platform/hotkeys/HotKeyChord.h"
#include "Tolvi/platform/hotkeys/ShortcutAccess.h"

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
//
// A shortcut counts as held only where the desktop lists it with a key: a desktop may accept the
// request and bind nothing (KDE Plasma 5.27 answers with an empty list). The desktop is asked to
// bind only when it knows none of the shortcuts yet, since asking opens its settings window.
class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    struct Shortcut {
        QString id;
        QString description;
        // The chord proposed to the user, in the shortcuts notation ("CTRL+ALT+v").
        QString preferredTrigger;
    };
    // bound: the desktop holds every shortcut with a key; unbound: it answered, but holds some or
    // none of them (the others stay with Tolvi's own key grab).
    enum class State { idle, unavailable, binding, bound, unbound, failed };

    explicit GlobalShortcutsPortal(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~GlobalShortcutsPortal() override;

    // A chord in the shortcuts notation the portal proposes to the user ("CTRL+ALT+v").
    static QString triggerFor(const HotKeyChord& chord);

    // Asks whether the desktop offers the portal and, when it does, opens a session, lists what the
    // desktop holds already and asks it to bind the shortcuts when it knows none of them (once).
    void bind(const QList<Shortcut>& shortcuts);
    State state() const { return state_; }
    // The chords as the desktop describes them now, by shortcut id (the user may change them); an
    // empty description where the desktop knows the shortcut but holds no key for it.
    QHash<QString, QString> triggers() const { return triggers_; }
    // The desktop holds the shortcut with a key.
    bool holds(const QString& id) const { return !triggers_.value(id).isEmpty(); }
    // How many BindShortcuts requests went out (each may open the desktop's settings window).
    int bindRequests() const { return bindRequests_; }

    // Sets what the desktop's service holds into a Wayland session's description: the route (the
    // service once it has answered the binding; bound commands before, without it, and where it
    // refused) and the keys held for the "history" and "compact" shortcuts.
    void describe(ShortcutAccess& access) const;

signals:
    void stateChanged(tolvi::GlobalShortcutsPortal::State state);
    // A shortcut was pressed; the token lets the window it opens take the focus (may be empty).
    void activated(const QString& id, const QByteArray& activationToken);
    void triggersChanged();

private slots:
    void handleSessionResponse(const QDBusMessage& message);
    void handleListResponse(const QDBusMessage& message);
    void handleBindResponse(const QDBusMessage& message);
    void handleActivated(const QDBusMessage& message);
    void handleShortcutsChanged(const QDBusMessage& message);

private:
    QString requestPath(const QString& token) const;
    void createSession();
    void listShortcuts();
    void bindShortcuts();
    // Calls a method whose answer comes as the Response of a request object, listened to first.
    void callWithRequest(const QString& method, const char* responseSlot, QList<QVariant> arguments);
    void setState(State state);
    // Reads an a(sa{sv}) shortcut list; a full list replaces what is known, a change merges.
    void readShortcuts(const QVariant& value, bool fullList);
    // bound or unbound, after what the desktop holds.
    void settle();
    void finishRequest(const QDBusPendingCall& call);

    QDBusConnection bus_;
    State state_ = State::idle;
    QList<Shortcut> shortcuts_;
    QString sessionHandle_;
    QString pendingRequest_;
    QHash<QString, QString> triggers_;
    const char* pendingSlot_ = nullptr;
    int requestCounter_ = 0;
    int bindRequests_ = 0;
};

} // namespace tolvi
