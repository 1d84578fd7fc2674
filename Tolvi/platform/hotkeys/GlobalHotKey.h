#pragma once

#include "Tolvi/platform/hotkeys/HotKeyBackend.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>

namespace tolvi {

// One system-wide hot key: registers one chord with the backend and runs its
// action on the main thread, after the event has been handled, when the chord
// is pressed. Destroying it unregisters the chord and removes its handler.
class GlobalHotKey : public QObject {
    Q_OBJECT
public:
    GlobalHotKey(HotKeyBackend& backend, HotKeyID hotKeyID, std::function<void()> action,
                 QObject* parent = nullptr);
    ~GlobalHotKey() override;

    GlobalHotKey(const GlobalHotKey&) = delete;
    GlobalHotKey& operator=(const GlobalHotKey&) = delete;

    // Installs the handler, then registers the chord. Success shows in isRegistered().
    void install(const HotKeyChord& chord);

    bool isRegistered() const { return m_isRegistered; }
    HotKeyID hotKeyID() const { return m_hotKeyID; }

private:
    void handle(const HotKeyID& pressed);

    QPointer<HotKeyBackend> m_backend;
    HotKeyID m_hotKeyID;
    std::function<void()> m_action;
    bool m_isRegistered = false;
    bool m_hasRegistration = false;
    QMetaObject::Connection m_handler;
};

} // namespace tolvi
